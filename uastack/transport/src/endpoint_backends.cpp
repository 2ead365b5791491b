// Registry of the endpoint backends and the factory that makes them.
#include "endpoint_backends.h"

#include <atomic>
#include <mutex>
#include <unordered_set>

namespace OpcUa
{
namespace
{
struct Registry
{
    std::mutex mutex;
    std::unordered_set<const void*> backends;
    std::atomic<size_t> count{0}; // lets opc.tcp endpoints skip the lock
    EndpointFactory factory = nullptr;
    void* factoryData = nullptr;
};

// Never destroyed: endpoints may outlive static destruction.
Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}
} // namespace

EndpointBackend::EndpointBackend()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.backends.insert(this);
    r.count.store(r.backends.size(), std::memory_order_release);
}

EndpointBackend::~EndpointBackend()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.backends.erase(this);
    r.count.store(r.backends.size(), std::memory_order_release);
}

void EndpointBackend::destroy()
{
    delete this;
}

EndpointFactory setEndpointFactory(EndpointFactory factory, void* data)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    EndpointFactory previous = r.factory;
    r.factory = factory;
    r.factoryData = data;
    return previous;
}

EndpointBackend* endpointBackend(OpcUa_Endpoint endpoint)
{
    Registry& r = registry();
    if (endpoint == nullptr || r.count.load(std::memory_order_acquire) == 0)
        return nullptr;
    std::lock_guard lock(r.mutex);
    return r.backends.count(endpoint) != 0 ? static_cast<EndpointBackend*>(endpoint) : nullptr;
}

EndpointBackend* createBackendEndpoint(OpcUa_ServiceType** supportedServices)
{
    Registry& r = registry();
    EndpointFactory factory;
    void* data;
    {
        std::lock_guard lock(r.mutex);
        factory = r.factory;
        data = r.factoryData;
    }
    return factory != nullptr ? factory(supportedServices, data) : nullptr;
}

} // namespace OpcUa
