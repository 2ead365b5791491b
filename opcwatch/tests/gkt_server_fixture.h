// The device-profile node manager started on a real server manager, importing from GktSim behind
// a real device manager on a fresh device root; reads, writes and monitoring go through the
// node manager's handles and the I/O manager's transaction interface, as the server's services
// call them.
#pragma once

#include "gkt_test_support.h"
#include "nodemanagertestbed.h"
#include "servertestbed.h"

#include <uagktiomanager.h>
#include <uagktnodemanager.h>
#include <uagktnodes.h>

#include <attributeids.h>
#include <uatracecapture.h>

#include <memory>
#include <string>

namespace gkttest
{

class GktServerTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        if (HasFatalFailure())
            return;
        m_server = std::make_unique<servertest::StartedServer>();
    }

    void TearDown() override
    {
        stopNodeManager();
        m_server.reset();
        DeviceTest::TearDown();
    }

    // Creates and starts the node manager "GKT", which imports the device.
    void startNodeManager()
    {
        m_nodeManager = std::make_unique<CUaGktNodeManager>("GKT");
        ASSERT_TRUE(m_nodeManager->startUp(&m_server->serverManager).isGood());
    }
    void stopNodeManager()
    {
        if (!m_nodeManager)
            return;
        m_nodeManager->shutDown();
        m_nodeManager.reset();
    }

    // The device manager stops and starts again, with a new description when one is given; our
    // own handles on the device are stale in between.
    void restartDevice(const std::string& newDescription = {})
    {
        CloseHandle(m_control);
        m_control = INVALID_HANDLE_VALUE;
        ASSERT_EQ(m_manager.stop(), 0);
        if (!newDescription.empty())
            m_manager.writeFile("GktSim.txt", newDescription);
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
    }
    void openControl()
    {
        m_control = CreateFileW(u"GKT1:", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_control, INVALID_HANDLE_VALUE);
    }

    UaNodeId nodeId(const std::string& id) const
    {
        return UaNodeId(UaString(id.c_str()), m_nodeManager->getNameSpaceIndex());
    }
    ReferenceHolder<UaNode> node(const std::string& id) const
    {
        return ReferenceHolder<UaNode>::adopt(m_nodeManager->getNode(nodeId(id)));
    }
    CUaGktItem* item(const std::string& id) const { return dynamic_cast<CUaGktItem*>(node(id).get()); }
    CUaGktIoManager& io() const { return *m_nodeManager->gktIoManager(); }

    // One transaction of that type over the Value of the named nodes, answered to the callback.
    void transact(OpcUa_UInt32 type, const std::vector<std::string>& ids,
                  const std::vector<UaVariant>& values, testbed::RecordingCallback& callback,
                  UaStatus* finished = nullptr)
    {
        const auto& handles = valueHandles(ids);
        OpcUa_Handle context = nullptr;
        IOManager* manager = handles.front()->ioManager();
        ASSERT_NE(manager, nullptr);
        ASSERT_TRUE(manager
                        ->beginTransaction(&callback, ServiceContext(), 7,
                                           static_cast<OpcUa_UInt32>(ids.size()), 0,
                                           OpcUa_TimestampsToReturn_Both, type, context)
                        .isGood());
        for (std::size_t i = 0; i < handles.size(); ++i)
        {
            const auto callbackHandle = static_cast<OpcUa_UInt32>(i + 1);
            if (type == IOTransactionType::Read)
                EXPECT_TRUE(manager->beginRead(context, callbackHandle, handles[i], nullptr).isGood());
            else
            {
                OpcUa_WriteValue write;
                OpcUa_WriteValue_Initialize(&write);
                values[i].copyTo(&write.Value.Value);
                EXPECT_TRUE(manager->beginWrite(context, callbackHandle, handles[i], &write).isGood());
                OpcUa_WriteValue_Clear(&write);
            }
            handles[i]->releaseReference();
        }
        const UaStatus status = manager->finishTransaction(context);
        if (finished)
            *finished = status;
    }

    UaDataValue read(const std::string& id)
    {
        testbed::RecordingCallback callback;
        transact(IOTransactionType::Read, {id}, {}, callback);
        return callback.waitFor(1).front().value;
    }
    OpcUa_StatusCode write(const std::string& id, const UaVariant& value)
    {
        testbed::RecordingCallback callback;
        transact(IOTransactionType::Write, {id}, {value}, callback);
        return callback.waitFor(1).front().status;
    }

    // Starts monitoring the Value through the I/O manager; the answer carries the watch's handle
    // and the revised interval.
    testbed::Answer monitor(const std::string& id, IOVariableCallback& variableCallback,
                            OpcUa_Double samplingInterval = 100)
    {
        testbed::RecordingCallback callback;
        IOManager* manager = &io();
        OpcUa_Handle context = nullptr;
        EXPECT_TRUE(manager
                        ->beginTransaction(&callback, ServiceContext(), 9, 1, 0,
                                           OpcUa_TimestampsToReturn_Both, IOTransactionType::StartMonitoring,
                                           context)
                        .isGood());
        const UaNodeId node = nodeId(id);
        VariableHandle* handle =
            m_nodeManager->getVariableHandle(nullptr, 0, node.toOpcUaNodeId(), AttributeId::Value);
        MonitoringContext monitoring;
        monitoring.samplingInterval = samplingInterval;
        EXPECT_TRUE(
            manager->beginStartMonitoring(context, 1, &variableCallback, handle, monitoring).isGood());
        handle->releaseReference();
        EXPECT_TRUE(manager->finishTransaction(context).isGood());
        return callback.waitFor(1).front();
    }
    OpcUa_StatusCode stopMonitoring(OpcUa_UInt32 hItem)
    {
        testbed::RecordingCallback callback;
        OpcUa_Handle context = nullptr;
        io().beginTransaction(&callback, ServiceContext(), 10, 1, 0, OpcUa_TimestampsToReturn_Both,
                              IOTransactionType::StopMonitoring, context);
        const UaStatus status = io().beginStopMonitoring(context, 1, hItem);
        io().finishTransaction(context);
        EXPECT_EQ(callback.waitFor(1).front().status, status.statusCode());
        return status.statusCode();
    }

    std::unique_ptr<servertest::StartedServer> m_server;
    std::unique_ptr<CUaGktNodeManager> m_nodeManager;

private:
    std::vector<VariableHandle*> valueHandles(const std::vector<std::string>& ids)
    {
        std::vector<VariableHandle*> handles;
        for (const std::string& id : ids)
        {
            const UaNodeId node = nodeId(id);
            handles.push_back(
                m_nodeManager->getVariableHandle(nullptr, 0, node.toOpcUaNodeId(), AttributeId::Value));
            EXPECT_NE(handles.back(), nullptr) << id;
        }
        return handles;
    }
};

// The node manager started on the shipped description.
class GktShippedDeviceTest : public GktServerTest
{
protected:
    std::string description() const override { return {}; }
    void SetUp() override
    {
        GktServerTest::SetUp();
        if (!HasFatalFailure())
            startNodeManager();
    }
};

// The data changes a monitored item receives.
class RecordingVariableCallback : public IOVariableCallback
{
public:
    void dataChange(UaDataValue& dataValue) override
    {
        std::lock_guard guard(m_lock);
        m_values.push_back(dataValue);
        m_arrived.notify_all();
    }
    UaDataValue lastValue() const override
    {
        std::lock_guard guard(m_lock);
        return m_values.empty() ? UaDataValue() : m_values.back();
    }
    // Waits (a minute at most) for a data change after the first `after` ones that passes the test.
    template <typename Test> bool waitFor(Test test, std::size_t after = 0)
    {
        std::unique_lock lock(m_lock);
        return m_arrived.wait_for(lock, std::chrono::minutes(1),
                                  [&]
                                  {
                                      for (std::size_t i = after; i < m_values.size(); ++i)
                                          if (test(m_values[i]))
                                              return true;
                                      return false;
                                  });
    }
    bool waitForStatus(OpcUa_StatusCode status, std::size_t after = 0)
    {
        return waitFor([status](const UaDataValue& value) { return value.statusCode() == status; }, after);
    }
    std::size_t count() const
    {
        std::lock_guard guard(m_lock);
        return m_values.size();
    }
    std::vector<UaDataValue> values() const
    {
        std::lock_guard guard(m_lock);
        return m_values;
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<UaDataValue> m_values;
};

// The Data Store module of the shipped description: one entry of every type.
inline std::string dataStore(int subindex)
{
    char id[64];
    std::snprintf(id, sizeof id, "Modules|General|Data Store|0x8nn1|0x%02x", subindex);
    return id;
}

} // namespace gkttest
