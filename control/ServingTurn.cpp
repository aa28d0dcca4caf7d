#include "control/ServingTurn.h"

#include <QTimer>

ServingTurn::ServingTurn(int maxItems, std::function<void()> serve, QObject *parent)
    : QObject(parent)
    , timer(new QTimer(this))
    , maxItems(maxItems)
{
    timer->setSingleShot(true);
    timer->setInterval(0);
    connect(timer, &QTimer::timeout, this, std::move(serve));
}

void ServingTurn::request()
{
    if (!timer->isActive())
        timer->start();
}

bool ServingTurn::requested() const
{
    return timer->isActive();
}

void ServingTurn::begin()
{
    clock.start();
    items = 0;
}

bool ServingTurn::open() const
{
    return (maxItems == kNoItemLimit || items < maxItems) && clock.elapsed() < kTurnMs;
}
