// Subscriptions of uaserver_testserver as an outside client sees them. Prints one JSON line of what
// arrived; the test compares it with what should have.
// Arguments: url case [userName password] (the user that the sessions of services log on as)
//   data:   the counter's values in order; a written Int32 arriving; a Double under an absolute
//           deadband of 5 beside one without, written 10, 12 and 20
//   events: FireEvent 100 and 700 to an item filtering Severity >= 500 on the event source, one
//           on the Server object with the same filter and one without a filter
//   services: keep-alives, ModifySubscription, a Sampling item linked to a triggering one, the
//           triggering item switched off and on, DeleteMonitoredItems, a Republish of a number long
//           acknowledged, and TransferSubscriptions to an anonymous session and to one of the same
//           user (with an unknown id beside)
//   counts: CurrentSubscriptionCount and CumulatedSubscriptionCount as a second client reads them
//           while the first one is subscribed and after it disconnected
const {
    OPCUAClient, AttributeIds, ClientSubscription, MonitoringMode, ContentFilter, ContentFilterElement, DataChangeFilter,
    DataChangeTrigger, DataType, DeadbandType, FilterOperator, LiteralOperand, SimpleAttributeOperand,
    TimestampsToReturn, UserTokenType, Variant, coerceQualifiedName, constructEventFilter, resolveNodeId,
} = require("node-opcua-client");
const { reportRun, until } = require("./report");

const kDeadlineMs = 30000;
const kCounter = "ns=2;i=5";
const kInt32 = "ns=2;i=3";
const kDouble = "ns=2;i=2";
const kEventSource = "ns=2;i=20";
const kFireEvent = "ns=2;i=21";
const kServer = "i=2253";
const kEventFields = ["EventId", "EventType", "SourceNode", "SourceName", "Time", "ReceiveTime", "Message",
    "Severity"];

function newClient() {
    return OPCUAClient.create({
        applicationName: "uaserver-subscription-test",
        endpointMustExist: false,
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        keepSessionAlive: false,
        requestedSessionTimeout: 60000,
    });
}

async function subscribe(session) {
    return ClientSubscription.create(session, {
        requestedPublishingInterval: 100,
        requestedLifetimeCount: 600,
        requestedMaxKeepAliveCount: 10,
        maxNotificationsPerPublish: 0,
        publishingEnabled: true,
        priority: 1,
    });
}

// A data item whose values are collected in order; filter and mode are optional.
async function watchValues(subscription, nodeId, filter, mode = MonitoringMode.Reporting) {
    const item = await subscription.monitor({ nodeId, attributeId: AttributeIds.Value },
        { samplingInterval: 100, queueSize: 10, discardOldest: true, filter }, TimestampsToReturn.Both, mode);
    const values = [];
    item.on("changed", (dataValue) => values.push(dataValue.value.value));
    return { item, values };
}

async function write(session, nodeId, dataType, value) {
    const status = await session.write({ nodeId, attributeId: AttributeIds.Value,
        value: { value: { dataType, value } } });
    return status.name;
}

async function dataCase(session, summary) {
    const subscription = await subscribe(session);
    const counter = await watchValues(subscription, kCounter);
    const written = await watchValues(subscription, kInt32);
    const plain = await watchValues(subscription, kDouble);
    const deadband = await watchValues(subscription, kDouble, new DataChangeFilter({
        trigger: DataChangeTrigger.StatusValue, deadbandType: DeadbandType.Absolute, deadbandValue: 5 }));
    summary.itemStatus = [counter, written, plain, deadband].map((w) => w.item.statusCode.name).join(",");

    await until(() => written.values.length >= 1);
    summary.writeStatus = await write(session, kInt32, DataType.Int32, 42);
    await until(() => written.values.includes(42));

    // Each write waits until the item without a deadband saw it, so that the deadband item was
    // given every value.
    await until(() => plain.values.length >= 1 && deadband.values.length >= 1);
    for (const value of [10, 12, 20]) {
        await write(session, kDouble, DataType.Double, value);
        await until(() => plain.values.includes(value));
    }
    await until(() => deadband.values.includes(20));
    await until(() => counter.values.length >= 15);

    summary.counter = counter.values.join(",");
    summary.written = written.values.join(",");
    summary.plain = plain.values.join(",");
    summary.deadband = deadband.values.join(",");
    await subscription.terminate();
}

function severityAtLeast(severity) {
    return new ContentFilter({ elements: [new ContentFilterElement({
        filterOperator: FilterOperator.GreaterThanOrEqual,
        filterOperands: [
            new SimpleAttributeOperand({ typeDefinitionId: resolveNodeId("BaseEventType"),
                browsePath: [coerceQualifiedName("Severity")], attributeId: AttributeIds.Value }),
            new LiteralOperand({ value: new Variant({ dataType: DataType.UInt16, value: severity }) }),
        ] })] });
}

// An event item whose events are collected as objects of the selected fields.
async function watchEvents(subscription, nodeId, whereClause) {
    const filter = constructEventFilter(kEventFields);
    if (whereClause)
        filter.whereClause = whereClause;
    const item = await subscription.monitor({ nodeId, attributeId: AttributeIds.EventNotifier },
        { samplingInterval: 0, queueSize: 100, discardOldest: true, filter }, TimestampsToReturn.Both);
    const events = [];
    item.on("changed", (fields) => {
        const event = {};
        kEventFields.forEach((name, i) => { event[name] = fields[i].value; });
        events.push(event);
    });
    return { item, events };
}

async function fireEvent(session, message, severity) {
    const result = await session.call({ objectId: kEventSource, methodId: kFireEvent, inputArguments: [
        { dataType: DataType.String, value: message }, { dataType: DataType.UInt16, value: severity }] });
    return result.statusCode.name;
}

async function eventsCase(session, summary) {
    const subscription = await subscribe(session);
    const filtered = await watchEvents(subscription, kEventSource, severityAtLeast(500));
    const all = await watchEvents(subscription, kEventSource);
    const server = await watchEvents(subscription, kServer, severityAtLeast(500));
    summary.itemStatus = [filtered, all, server].map((w) => w.item.statusCode.name).join(",");

    const before = Date.now();
    summary.callStatus = [await fireEvent(session, "low event", 100), await fireEvent(session, "high event", 700)]
        .join(",");
    const after = Date.now();
    // Every item is given the events in the order fired, so once the unfiltered item has the second,
    // the filtered ones have had all they will get.
    await until(() => all.events.length >= 2 && filtered.events.length >= 1 && server.events.length >= 1);

    const describe = (watch) => ({ messages: watch.events.map((e) => e.Message.text).join(","),
        severities: watch.events.map((e) => e.Severity).join(",") });
    for (const [name, watch] of [["filtered", filtered], ["all", all], ["server", server]]) {
        const { messages, severities } = describe(watch);
        summary[name + "Messages"] = messages;
        summary[name + "Severities"] = severities;
    }
    if (filtered.events.length) {
        const event = filtered.events[0];
        summary.eventIdLength = event.EventId ? event.EventId.length : 0;
        summary.eventType = event.EventType.toString();
        summary.sourceNode = event.SourceNode.toString();
        summary.sourceName = event.SourceName;
        // Stamped while the calls ran (one clock, a second of slack for its resolution).
        summary.timeDuringCalls = event.Time.getTime() >= before - 1000 && event.Time.getTime() <= after + 1000 ? 1 : 0;
        summary.receiveTimeDuringCalls =
            event.ReceiveTime.getTime() >= before - 1000 && event.ReceiveTime.getTime() <= after + 1000 ? 1 : 0;
    }
    await subscription.terminate();
}

async function servicesCase(url, user, session, summary) {
    const subscription = await subscribe(session);
    let keepAlives = 0;
    subscription.on("keepalive", () => ++keepAlives);
    summary.keptAlive = (await until(() => keepAlives >= 1)) ? 1 : 0;
    const modified = await subscription.modify({ requestedPublishingInterval: 200, requestedLifetimeCount: 600,
        requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 0, priority: 1 });
    summary.modifiedInterval = modified.revisedPublishingInterval;

    const counter = await watchValues(subscription, kCounter);
    const sampled = await watchValues(subscription, kInt32, undefined, MonitoringMode.Sampling);
    const link = await subscription.setTriggering(counter.item, [sampled.item], null);
    summary.linkResults = link.addResults.map((status) => status.name).join(",");
    // The counter's next report takes the sampled value with it.
    await until(() => sampled.values.length >= 1);
    summary.triggered = sampled.values.join(",");

    const modes = [await counter.item.setMonitoringMode(MonitoringMode.Disabled)];
    const reportedWhileOff = counter.values.length;
    modes.push(await counter.item.setMonitoringMode(MonitoringMode.Reporting));
    summary.modeResults = modes.map((status) => status.name).join(",");
    summary.reportsAgain = (await until(() => counter.values.length > reportedWhileOff + 1)) ? 1 : 0;
    await sampled.item.terminate();
    summary.deleted = 1;

    try {
        await session.republish({ subscriptionId: subscription.subscriptionId, retransmitSequenceNumber: 1 });
        summary.republish = "Good";
    } catch (error) {
        summary.republish = /BadMessageNotAvailable/.test(String(error.message)) ? "BadMessageNotAvailable"
            : String(error.message);
    }

    // Only a session of the same user may take the subscription over.
    const transferResults = [];
    for (const identity of [undefined, user]) {
        const other = newClient();
        await other.connect(url);
        const otherSession = await other.createSession(identity);
        const transfer = await otherSession.transferSubscriptions({
            subscriptionIds: [subscription.subscriptionId, 0x7FFFFFF0], sendInitialValues: true });
        transferResults.push(transfer.results.map((result) => result.statusCode.name).join(","));
        await otherSession.close(true);
        await other.disconnect();
    }
    summary.transferResults = transferResults.join(";");
}

async function readCount(session, nodeId) {
    return (await session.read({ nodeId, attributeId: AttributeIds.Value })).value.value;
}

async function countsCase(url, session, summary) {
    const first = newClient();
    await first.connect(url);
    const firstSession = await first.createSession();
    const subscription = await subscribe(firstSession);
    await watchValues(subscription, kCounter);
    summary.currentWithOne = await readCount(session, "i=2285");
    summary.cumulatedWithOne = await readCount(session, "i=2286");
    await first.disconnect();
    // The subscription leaves in the next pass of the manager's thread, at most a second away.
    let current = -1;
    for (const end = Date.now() + kDeadlineMs; Date.now() < end && current !== 0;)
        current = await readCount(session, "i=2285");
    summary.currentAfter = current;
    summary.cumulatedAfter = await readCount(session, "i=2286");
}

const [url, which, userName, password] = process.argv.slice(2);
const user = userName ? { type: UserTokenType.UserName, userName, password } : undefined;
const cases = {
    data: dataCase,
    events: eventsCase,
    services: (session, summary) => servicesCase(url, user, session, summary),
    counts: (session, summary) => countsCase(url, session, summary),
};
const client = newClient();
reportRun(client, url, async (summary) => {
    if (!cases[which])
        throw new Error(`unknown case ${which}`);
    const session = await client.createSession(user);
    await cases[which](session, summary);
    await session.close();
    summary.closed = 1;
});
