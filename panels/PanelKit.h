#pragma once

#include <cstdint>
#include <functional>

#include <QString>
#include <QVariant>

#include <vector>

class Button;
class Knob;
class MeterBlock;
class MixerStateBlock;
class OrvelinIoControl;
class QFrame;
class QHBoxLayout;
class QLabel;
class QObject;
class QSettings;
class QWidget;

// Helpers the four device panels share: their look, the start-up volumes, the INI file, the
// volume rule and the meter read.
namespace panelkit {

// Look. Every label is centred and parented to the panel.
QLabel *sectionTitle(QWidget *panel, const QString &text);
QLabel *caption(QWidget *panel, const QString &text, const QString &styleSheet);
QLabel *readout(QWidget *panel); // "-160 dB" until the first meter read
// Shows one meter reading in a readout; see PanelKit.cpp for why it is not a plain setText.
void showReading(QLabel *readout, std::int32_t level);
QFrame *separator(QWidget *panel);
// A switch of the common look, styled; selectedColour is its selected caption and glow.
// The single-input panels create their switches as the panel's children; the two-input panels
// create them alone and then hand them to the panel. A button sizes its glow from its width at
// construction, so the two give differently soft glows.
enum class SwitchParent { AtConstruction, AfterConstruction };
Button *makeSwitch(QWidget *panel, const QString &text, const QString &selectedColour, SwitchParent parenting);
// The gain knob's display offset is the control table's.
Knob *makeGainKnob(QWidget *panel, int maximum);
// The output volumes and the phone levels into them: a key press raises them by a page at most.
Knob *makeVolumeKnob(QWidget *panel);
Knob *makePhoneKnob(QWidget *panel);
// The phone knob, then its readout above its caption.
QHBoxLayout *phoneRow(Knob *knob, QLabel *level, QLabel *captionLabel);

extern const char *const kCaptionStyle; // "font-size: 12px; color: white;"
extern const char *const kSmallCaptionStyle; // "font-size: 10px; color: white;"

// The construction steps every panel shares before its widgets: open the panel's own channel
// (without a device: "Failed to create device in NAME." and an empty panel), send volume 100 to
// each output in order (only the last result counts; a refusal is logged and the panel goes on,
// since restoring resends every control), and open "/NAME.ini" in the application data folder,
// created when missing. Returns the settings store, or nullptr when the device could not be opened.
// A file that cannot be parsed is copied to NAME.ini.damaged before anything is written over it.
QSettings *startPanel(QWidget *panel, OrvelinIoControl &channel, const char *name, const std::vector<int> &outputs);
// The meter timer every panel runs for its whole life: one tick every 500 ms.
void startMeterTimer(QWidget *panel, std::function<void()> tick);
// setValue and sync. A file that cannot be written keeps the value in memory and warns why.
void save(QSettings &settings, const QString &key, const QVariant &value);

// One stored control: a switch or a knob, its key and the value used when the key is missing.
struct StoredControl
{
    const char *key;
    Button *button;
    Knob *knob;
    int fallback;
};
StoredControl stored(const char *key, Button *button);
StoredControl stored(const char *key, Knob *knob, int fallback);
// A stored switch is on for "true" (any case) or a non-zero integer and off for "false" or 0; a
// stored knob value is integer text. Anything else is unreadable and gives the fallback, with a
// debug line naming the key, since a damaged "48 V" or volume must not switch or jump anything on.
bool storedSwitch(const QSettings &settings, const QString &key, bool fallback);
int storedNumber(const QSettings &settings, const QString &key, int fallback);
// Gives every control its stored value in order; each one runs its handler once. A control the
// model lacks (a null pointer) is passed over.
void restore(QSettings &settings, const std::vector<StoredControl> &controls);

// Decibels an output plays: -80 when muted, 20 dB less when dimmed, else the knob.
int effectiveVolume(int knobValue, bool muted, bool dimmed);

// The device step of a gain handler: the device receives twice the knob value; the result is
// logged and returned. Storing the knob is the panel's.
bool sendMicGain(OrvelinIoControl &channel, int input, int value);

// The device step of an input's instrument, pad or phantom handler: the click line, the request
// and its result line. The success line names channel 1 and is logged for the first input only.
// Returns whether the device took it; storing the switch is the panel's.
enum class InputSwitch { Instrument, Pad, Phantom };
bool sendInputSwitch(OrvelinIoControl &channel, InputSwitch which, int input, bool on);

// A mute or dim switch: keeps its new state, replays the output's volume handler (which reads
// that state), then logs onLine or offLine where the panel has them (nullptr for none). Returns
// the replay's result; storing the switch is the panel's.
bool switchOutput(bool &state, bool on, const std::function<bool()> &replayVolume, const char *onLine = nullptr,
    const char *offLine = nullptr);

// readMeters into the block; a failure is logged and leaves the block as it was.
bool readMeters(OrvelinIoControl &channel, MeterBlock &block);
// Sends the whole mixer block; a refusal logs failureLine (nullptr: nothing). The caller logs
// the success, whose line carries its own value.
bool writeBlock(OrvelinIoControl &channel, const MixerStateBlock &block, const char *failureLine);

} // namespace panelkit
