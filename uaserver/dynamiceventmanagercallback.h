#ifndef UASERVER_DYNAMICEVENTMANAGERCALLBACK_H
#define UASERVER_DYNAMICEVENTMANAGERCALLBACK_H

class EventManager;

// Told when an event manager registers while the server runs, so that the event items which exist
// already start on it too.
class DynamicEventManagerCallback
{
public:
    virtual ~DynamicEventManagerCallback() = default;
    virtual void dynamicEventManagerRegistered(EventManager* eventManager) = 0;
};

#endif
