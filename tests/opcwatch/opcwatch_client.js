// The outside client against Opcwatch: one command per run, one JSON line as the answer.
//   dump <url>                      every node below Objects/GKT with the Value of each variable
//   write <url> <nodeId> <int16>    writes an Int16 and reads it back
//   read <url> <nodeId>             the Value's status and value
//   watch <url> <nodeId>...         subscribes to the Values at 100 ms: first {"publishing", "sampling"}
//                                   with the revised intervals, then one line per data change
//                                   {"item", "status", "value"}; ends on SIGTERM
// NodeIds go in and come out with their namespace's URI ("nsu=GKT;s=..."), browse names as
// "<URI>:<name>": the index of a namespace depends on those the server registered before it.
const {
    OPCUAClient,
    AttributeIds,
    BrowseDirection,
    ClientMonitoredItem,
    ClientSubscription,
    DataType,
    TimestampsToReturn,
    coerceNodeId,
} = require("node-opcua-client");

// The session gets the server's namespace table as `namespaceArray`.
async function withSession(url, work) {
    const client = OPCUAClient.create({
        endpointMustExist: false,
        connectionStrategy: { maxRetry: 2, initialDelay: 200, maxDelay: 1000 },
    });
    await client.connect(url);
    const session = await client.createSession();
    try {
        session.namespaceArray = await session.readNamespaceArray();
        return await work(session);
    } finally {
        await session.close();
        await client.disconnect();
    }
}

async function browseAll(session, nodeId) {
    let result = await session.browse({
        nodeId,
        referenceTypeId: "HierarchicalReferences",
        includeSubtypes: true,
        browseDirection: BrowseDirection.Forward,
        resultMask: 63,
    });
    let references = result.references || [];
    while (result.continuationPoint && result.continuationPoint.length > 0) {
        result = await session.browseNext(result.continuationPoint, false);
        references = references.concat(result.references || []);
    }
    return references;
}

function nodeIdOf(session, text) {
    return coerceNodeId(text, { namespaceArray: session.namespaceArray });
}
// A browse answers expanded NodeIds, whose text has no URI form.
function textOf(session, nodeId) {
    return coerceNodeId(nodeId.toString()).toString({ namespaceArray: session.namespaceArray });
}

// Depth first from GKT: "<indent><NodeId> <BrowseName> <NodeClass>" per node.
async function dump(session) {
    const gkt = (await browseAll(session, "ns=0;i=85")).find((r) => r.browseName.name === "GKT");
    if (!gkt) throw new Error("no GKT below Objects");
    const lines = [];
    const variables = [];
    const walk = async (reference, depth) => {
        const id = textOf(session, reference.nodeId);
        const browseName = `${session.namespaceArray[reference.browseName.namespaceIndex]}:${reference.browseName.name}`;
        lines.push(`${" ".repeat(2 * depth)}${id} ${browseName} ${reference.nodeClass}`);
        if (reference.nodeClass === 2) variables.push(id);
        for (const child of await browseAll(session, reference.nodeId))
            if (child.nodeId.namespace === reference.nodeId.namespace) await walk(child, depth + 1);
    };
    await walk(gkt, 0);
    const values = await session.read(variables.map((id) => ({ nodeId: nodeIdOf(session, id), attributeId: AttributeIds.Value })));
    const dataTypes = await session.read(variables.map((id) => ({ nodeId: nodeIdOf(session, id), attributeId: AttributeIds.DataType })));
    const good = values.filter((v) => v.statusCode.value === 0).length;
    const byName = {};
    variables.forEach((id, i) => {
        byName[id] = { status: values[i].statusCode.value, value: String(values[i].value.value), dataType: dataTypes[i].value.value ? dataTypes[i].value.value.value : null };
    });
    return { lines, variables: variables.length, good, values: byName };
}

// The data changes of the nodes until SIGTERM; changes that come before the revised intervals are
// known wait for them.
async function watch(session, nodeIds) {
    const subscription = ClientSubscription.create(session, {
        requestedPublishingInterval: 100,
        requestedLifetimeCount: 600,
        requestedMaxKeepAliveCount: 20,
        maxNotificationsPerPublish: 0,
        publishingEnabled: true,
        priority: 1,
    });
    await new Promise((resolve, reject) => {
        subscription.on("started", resolve);
        subscription.on("internal_error", reject);
    });
    let waiting = [];
    const print = (line) => (waiting ? waiting.push(line) : console.log(line));
    const items = nodeIds.map((nodeId, index) => {
        const item = ClientMonitoredItem.create(
            subscription,
            { nodeId: nodeIdOf(session, nodeId), attributeId: AttributeIds.Value },
            { samplingInterval: 100, queueSize: 1, discardOldest: true },
            TimestampsToReturn.Both
        );
        item.on("changed", (dataValue) =>
            print(JSON.stringify({ item: index, status: dataValue.statusCode.value, value: String(dataValue.value.value) }))
        );
        return item;
    });
    await Promise.all(
        items.map(
            (item) =>
                new Promise((resolve, reject) => {
                    item.once("initialized", resolve);
                    item.once("err", (message) => reject(new Error(message)));
                })
        )
    );
    const sampling = items.map((item) => item.result.revisedSamplingInterval);
    console.log(JSON.stringify({ publishing: subscription.publishingInterval, sampling }));
    waiting.forEach((line) => console.log(line));
    waiting = null;
    await new Promise((resolve) => process.on("SIGTERM", resolve));
    await subscription.terminate();
    return { done: true };
}

async function main() {
    const [command, url, nodeId, value] = process.argv.slice(2);
    const nodeIds = process.argv.slice(4);
    let answer;
    if (command === "dump") answer = await withSession(url, dump);
    else if (command === "write")
        answer = await withSession(url, async (session) => {
            const status = await session.write({
                nodeId: nodeIdOf(session, nodeId),
                attributeId: AttributeIds.Value,
                value: { value: { dataType: DataType.Int16, value: Number(value) } },
            });
            const back = await session.read({ nodeId: nodeIdOf(session, nodeId), attributeId: AttributeIds.Value });
            return { write: status.value, status: back.statusCode.value, value: back.value.value };
        });
    else if (command === "read")
        answer = await withSession(url, async (session) => {
            const back = await session.read({ nodeId: nodeIdOf(session, nodeId), attributeId: AttributeIds.Value });
            return { status: back.statusCode.value, value: back.value.value };
        });
    else if (command === "watch") answer = await withSession(url, (session) => watch(session, nodeIds));
    else throw new Error(`unknown command ${command}`);
    console.log(JSON.stringify(answer));
}

main().catch((error) => {
    console.error(error.message);
    process.exit(1);
});
