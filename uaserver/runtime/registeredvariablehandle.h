#ifndef UASERVER_RUNTIME_REGISTEREDVARIABLEHANDLE_H
#define UASERVER_RUNTIME_REGISTEREDVARIABLEHANDLE_H

#include <referencecounter.h>
#include <variablehandle.h>

// The variable handle a registered node keeps, in the counted form the session's entries hold.
class RegisteredVariableHandle : public ReferenceCounter
{
public:
    // Takes one reference to handle over.
    explicit RegisteredVariableHandle(VariableHandle* handle) : m_pHandle(handle) {}
    ~RegisteredVariableHandle() override { m_pHandle->releaseReference(); }

    // The handle an entry keeps, with a reference for the caller; null when the entry keeps none.
    static VariableHandle* variableHandleOf(ReferenceCounter* kept)
    {
        auto* registered = dynamic_cast<RegisteredVariableHandle*>(kept);
        if (registered == nullptr)
            return nullptr;
        registered->m_pHandle->addReference();
        return registered->m_pHandle;
    }

private:
    VariableHandle* m_pHandle;
};

#endif
