#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstddef>
#include <functional>

class QTimer;

// Waiting work of the control roads, served on the GUI thread in turns that leave the event loop
// free between them: a turn ends after maxItems items or kTurnMs milliseconds, whichever comes
// first, and the next turn comes round the event loop. So a peer that sends a thousand messages
// at once does not hold up painting, and peers served in rounds do not wait for each other.
class ServingTurn : public QObject
{
public:
    static constexpr int kNoItemLimit = -1;
    // The turn of every control road: short enough that a frame is never missed for it, long
    // enough that a burst of sets is served in a few turns.
    static constexpr int kTurnItems = 32;
    static constexpr int kTurnMs = 8;

    ServingTurn(int maxItems, std::function<void()> serve, QObject *parent);

    // A turn round the event loop; asking again before it comes asks for no more.
    void request();
    bool requested() const;

    // Called by serve at the start of a turn: the clock and the count start again.
    void begin();
    // Whether this turn may serve another item.
    bool open() const;
    void served() { ++items; }

    // Serves peers in rounds, one item each a round, until a round serves none or the turn
    // closes. serveOne(peer) says whether it served the peer one item. The peers may be dropped
    // but not removed meanwhile; their count is read again on every step.
    template <typename Peers, typename ServeOne> void rounds(const Peers &peers, ServeOne serveOne)
    {
        bool more = true;
        while (more && open()) {
            more = false;
            for (std::size_t i = 0; i < peers.size() && open(); ++i)
                if (serveOne(*peers[i])) {
                    served();
                    more = true;
                }
        }
    }

private:
    QTimer *timer;
    QElapsedTimer clock;
    int items = 0;
    const int maxItems;
};
