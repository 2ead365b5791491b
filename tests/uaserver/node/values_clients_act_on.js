// The values a client acts on, as an outside client sees them on any of our servers: what each
// Publish carries from a full queue and whether the subscriber ends on the current value, a percent
// deadband, filters the server cannot apply, ServerStatus's clock and the diagnostics summary, a
// walk that follows every type definition, and the status codes of history and of writes that
// cannot be done. Prints one JSON line; the test compares it with what should have arrived.
// Arguments: url nodesJson
//   nodesJson: {"written": NodeId of a writable numeric variable, "dataType": its type ("Int32",
//               "Int16"), "ranged": a Double with an EURange of 0 to 200 or "" for none,
//               "unranged": a numeric variable without EURange}
//   NodeIds may name their namespace by URI ("nsu=GKT;s=...").
const {
    OPCUAClient, AttributeIds, BrowseDirection, ClientSubscription, DataChangeFilter, DataType, DeadbandType,
    CreateMonitoredItemsRequest, EventFilter, HistoryReadRequest, MonitoringMode, ReadRawModifiedDetails, SetMonitoringModeRequest,
    TimestampsToReturn, coerceNodeId,
} = require("node-opcua-client");
const { HistoryUpdateRequest, UpdateDataDetails } = require("node-opcua-types");
const { reportRun, until } = require("./report");

const kDeadlineMs = 30000;
const kServer = "i=2253";

const statusName = (status) => status.name;

async function readValue(session, nodeId) {
    return (await session.read({ nodeId, attributeId: AttributeIds.Value })).value.value;
}

async function write(session, nodeId, dataType, value) {
    return statusName(await session.write({ nodeId, attributeId: AttributeIds.Value,
        value: { value: { dataType: DataType[dataType], value } } }));
}

async function subscribe(session, publishingInterval) {
    return ClientSubscription.create(session, {
        requestedPublishingInterval: publishingInterval, requestedLifetimeCount: 600,
        requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 0, publishingEnabled: true, priority: 1,
    });
}

// A data item whose notifications are kept in order as {value, status}; its creation status or the
// error that refused it.
async function watch(subscription, nodeId, parameters) {
    const notified = [];
    try {
        const item = await subscription.monitor({ nodeId, attributeId: AttributeIds.Value },
            { samplingInterval: 100, discardOldest: true, ...parameters }, TimestampsToReturn.Both);
        item.on("changed", (dataValue) =>
            notified.push({ value: dataValue.value.value, status: dataValue.statusCode.value }));
        return { item, notified, status: item.statusCode.name };
    } catch (error) {
        const found = /Bad[A-Za-z]+/.exec(String(error.message));
        return { notified, status: found ? found[0] : String(error.message) };
    }
}

// Writes 1 to 5 while the queues' subscription does not publish, each once a second subscription
// saw it sampled, then lets it publish: what each queue carried and where the overflow bit landed.
async function queueCase(session, nodes, summary) {
    summary.zeroWritten = await write(session, nodes.written, nodes.dataType, 0);
    const observer = await subscribe(session, 100);
    const seen = await watch(observer, nodes.written, { queueSize: 10 });
    const queues = await subscribe(session, 100);
    const rows = {
        newest3: await watch(queues, nodes.written, { queueSize: 3, discardOldest: false }),
        oldest3: await watch(queues, nodes.written, { queueSize: 3, discardOldest: true }),
        newest1: await watch(queues, nodes.written, { queueSize: 1, discardOldest: false }),
    };
    const all = Object.values(rows);
    // The initial values go out first; the queues start empty.
    await until(() => all.every((row) => row.notified.some((n) => n.value === 0)) &&
        seen.notified.some((n) => n.value === 0));
    await queues.setPublishingMode(false);
    all.forEach((row) => row.notified.splice(0));
    for (const value of [1, 2, 3, 4, 5]) {
        await write(session, nodes.written, nodes.dataType, value);
        await until(() => seen.notified.some((n) => n.value === value));
    }
    await queues.setPublishingMode(true);
    await until(() => all.every((row) => row.notified.length > 0 && row.notified[row.notified.length - 1].value === 5),
        5000);
    for (const [name, row] of Object.entries(rows)) {
        summary[name] = row.notified.map((n) => n.value).join(",");
        summary[name + "Status"] = row.notified.map((n) => n.status).join(",");
    }
    summary.currentValue = await readValue(session, nodes.written);
    await queues.terminate();
    await observer.terminate();
}

// A percent deadband of 10 on the range 0 to 200 holds back steps below 20.
async function percentCase(session, nodes, summary) {
    const percent = (value) => new DataChangeFilter({ trigger: 1, deadbandType: DeadbandType.Percent,
        deadbandValue: value });
    const subscription = await subscribe(session, 100);
    summary.percentOnUnranged = (await watch(subscription, nodes.unranged, { queueSize: 10, filter: percent(10) }))
        .status;
    if (nodes.ranged) {
        await write(session, nodes.ranged, "Double", 50);
        const plain = await watch(subscription, nodes.ranged, { queueSize: 10 });
        const held = await watch(subscription, nodes.ranged, { queueSize: 10, filter: percent(10) });
        summary.percentStatus = held.status;
        await until(() => plain.notified.length >= 1 && held.notified.length >= 1);
        for (const value of [60, 75, 80]) {
            await write(session, nodes.ranged, "Double", value);
            await until(() => plain.notified.some((n) => n.value === value));
        }
        await until(() => held.notified.some((n) => n.value === 75));
        summary.percentPlain = plain.notified.map((n) => n.value).join(",");
        summary.percentHeld = held.notified.map((n) => n.value).join(",");
    }

    // Items whose filters or modes cannot be applied, as the client sends them (its own helpers
    // would put an empty event filter in place of none).
    const unknownTrigger = new DataChangeFilter({ trigger: 1, deadbandType: 0, deadbandValue: 0 });
    unknownTrigger.trigger = 7;
    const absolute = (value) => new DataChangeFilter({ trigger: 1, deadbandType: DeadbandType.Absolute,
        deadbandValue: value });
    const value = (filter, monitoringMode = MonitoringMode.Reporting) => ({ monitoringMode,
        itemToMonitor: { nodeId: nodes.unranged, attributeId: AttributeIds.Value },
        requestedParameters: { clientHandle: 1, samplingInterval: 100, queueSize: 1, discardOldest: true, filter } });
    const events = (filter) => ({ monitoringMode: MonitoringMode.Reporting,
        itemToMonitor: { nodeId: kServer, attributeId: AttributeIds.EventNotifier },
        requestedParameters: { clientHandle: 2, samplingInterval: 0, queueSize: 10, discardOldest: true, filter } });
    const badMode = value(null);
    const create = new CreateMonitoredItemsRequest({ subscriptionId: subscription.subscriptionId,
        timestampsToReturn: TimestampsToReturn.Both,
        itemsToCreate: [value(absolute(-1)), value(percent(101)), value(unknownTrigger), badMode, events(null),
            events(new EventFilter({ selectClauses: [] })), value(absolute(1))] });
    create.itemsToCreate[3].monitoringMode = 5;
    summary.refusedItems = await transact(session, create);

    const mode = new SetMonitoringModeRequest({ subscriptionId: subscription.subscriptionId,
        monitoringMode: MonitoringMode.Reporting, monitoredItemIds: [1] });
    mode.monitoringMode = 5;
    summary.monitoringMode5 = await transact(session, mode);
    await subscription.terminate();
}

// A request as the client's session sends it: the service result, or each result's status.
async function transact(session, request) {
    try {
        const response = await new Promise((resolve, reject) =>
            session.performMessageTransaction(request, (error, answer) => (error ? reject(error) : resolve(answer))));
        return response.results.map((result) => statusName(result.statusCode || result)).join(",");
    } catch (error) {
        const found = /Bad[A-Za-z]+/.exec(String(error.message));
        return found ? found[0] : String(error.message);
    }
}

// ServerStatus read as a whole keeps its start and follows the clock; the summary counts this
// session as CurrentSessionCount does.
async function statusCase(session, summary) {
    const first = await readValue(session, "i=2256");
    let later = first;
    for (const end = Date.now() + kDeadlineMs; Date.now() < end;) {
        later = await readValue(session, "i=2256");
        if (later.currentTime.getTime() > first.currentTime.getTime())
            break;
        await new Promise((resolve) => setTimeout(resolve, 20));
    }
    summary.statusTimeAdvances = later.currentTime.getTime() > first.currentTime.getTime() ? 1 : 0;
    summary.startTimeKept = later.startTime.getTime() === first.startTime.getTime() ? 1 : 0;
    summary.summarySessions = (await readValue(session, "i=2275")).currentSessionCount;
    summary.currentSessions = await readValue(session, "i=2277");
}

// Every node from Root over the hierarchical references, in batches, following continuation points.
async function walk(session) {
    const references = [];
    const queue = ["i=84"];
    const seen = new Set(queue);
    while (queue.length > 0) {
        const batch = queue.splice(0, 50);
        const results = await session.browse(batch.map((nodeId) => ({ nodeId, referenceTypeId: "HierarchicalReferences",
            includeSubtypes: true, browseDirection: BrowseDirection.Forward, nodeClassMask: 0, resultMask: 63 })));
        for (let i = 0; i < results.length; ++i) {
            let result = results[i];
            let found = result.references || [];
            while (result.continuationPoint && result.continuationPoint.length > 0) {
                result = await session.browseNext(result.continuationPoint, false);
                found = found.concat(result.references || []);
            }
            for (const reference of found) {
                references.push({ source: batch[i], reference });
                const id = reference.nodeId.toString();
                if (!seen.has(id)) {
                    seen.add(id);
                    queue.push(id);
                }
            }
        }
    }
    return { nodes: seen.size, references };
}

// Every type definition the walk is told of is a node of the server.
async function typeWalkCase(session, summary) {
    const { nodes, references } = await walk(session);
    const types = new Set();
    let sessionObjects = 0;
    for (const { source, reference } of references) {
        const type = reference.typeDefinition ? reference.typeDefinition.toString() : "";
        if (type && type !== "ns=0;i=0")
            types.add(type);
        if (source === "ns=0;i=3706" && type === "ns=0;i=2029")
            ++sessionObjects;
    }
    const classes = await session.read([...types].map((nodeId) => ({ nodeId, attributeId: AttributeIds.NodeClass })));
    const missing = [...types].filter((type, i) => classes[i].statusCode.value !== 0);
    summary.walkedNodes = nodes;
    summary.typeDefinitions = types.size;
    summary.missingTypes = missing.join(" ");
    summary.sessionObjects = sessionObjects;
}

// History of nodes that keep none, of unknown ones, and without details; writes to what cannot be
// written.
async function statusCodesCase(session, nodes, summary) {
    const unknown = "ns=1;s=NoSuchNode";
    const raw = new ReadRawModifiedDetails({ startTime: new Date(0), endTime: new Date(), numValuesPerNode: 10 });
    const toRead = [nodes.written, "i=2256", unknown].map((nodeId) => ({ nodeId }));
    summary.historyRead = await transact(session, new HistoryReadRequest({ historyReadDetails: raw,
        timestampsToReturn: TimestampsToReturn.Both, nodesToRead: toRead }));
    summary.historyReadNoDetails = await transact(session, new HistoryReadRequest({ historyReadDetails: null,
        timestampsToReturn: TimestampsToReturn.Both, nodesToRead: toRead.slice(0, 1) }));
    const update = (nodeId) => new UpdateDataDetails({ nodeId, performInsertReplace: 1, updateValues: [] });
    summary.historyUpdate = await transact(session, new HistoryUpdateRequest({
        historyUpdateDetails: [update(nodes.written), update(unknown), null] }));

    const text = { dataType: DataType.LocalizedText, value: { text: "renamed" } };
    const written = await session.write([
        { nodeId: nodes.written, attributeId: AttributeIds.DisplayName, value: { value: text } },
        { nodeId: "i=2256", attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Int32, value: 1 } } },
        { nodeId: "i=2255", attributeId: AttributeIds.Value, value: { value: { dataType: DataType.Int32, value: 1 } } },
    ]);
    summary.writes = written.map(statusName).join(",");
}

const [url, nodesJson] = process.argv.slice(2);
const client = OPCUAClient.create({
    applicationName: "uaserver-values-test",
    endpointMustExist: false,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
    requestedSessionTimeout: 60000,
});
reportRun(client, url, async (summary) => {
    const session = await client.createSession();
    const namespaceArray = await session.readNamespaceArray();
    const given = JSON.parse(nodesJson);
    const nodes = { ...given };
    for (const key of ["written", "ranged", "unranged"])
        if (given[key])
            nodes[key] = coerceNodeId(given[key], { namespaceArray }).toString();
    await statusCase(session, summary);
    await typeWalkCase(session, summary);
    await queueCase(session, nodes, summary);
    await percentCase(session, nodes, summary);
    await statusCodesCase(session, nodes, summary);
    await session.close();
    summary.closed = 1;
});
