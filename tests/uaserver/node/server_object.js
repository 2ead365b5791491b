// The Server object as an outside client reads it from uaserver_testserver: ServerStatus with its
// build information, a CurrentTime that advances, the object statistics of namespace 1 against the
// number of sessions, ServerState's texts, and every attribute of every node below the Server.
// Arguments: url. Prints a JSON summary.
const { OPCUAClient, AttributeIds, BrowseDirection, StatusCodes } = require("node-opcua-client");

function newClient() {
    return OPCUAClient.create({
        applicationName: "uaserver-server-object-test",
        endpointMustExist: false,
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        keepSessionAlive: false,
    });
}

async function readValue(session, nodeId) {
    return (await session.read({ nodeId, attributeId: AttributeIds.Value })).value.value;
}

// Every node below the Server over the hierarchical references, the Server included.
async function subtree(session) {
    const nodes = ["ns=0;i=2253"];
    const seen = new Set(nodes);
    for (let next = 0; next < nodes.length; ++next) {
        const result = await session.browse({
            nodeId: nodes[next],
            referenceTypeId: "HierarchicalReferences",
            includeSubtypes: true,
            browseDirection: BrowseDirection.Forward,
            nodeClassMask: 0,
            resultMask: 63,
        });
        for (const reference of result.references || []) {
            const id = reference.nodeId.toString();
            if (!seen.has(id)) {
                seen.add(id);
                nodes.push(id);
            }
        }
    }
    return nodes;
}

async function main() {
    const [url] = process.argv.slice(2);
    const summary = {};
    const first = newClient();
    const second = newClient();
    try {
        await first.connect(url);
        const session = await first.createSession();

        const status = await readValue(session, "ns=0;i=2256");
        summary.statusState = status && status.state !== undefined ? Number(status.state) : -1;
        summary.productName = status && status.buildInfo ? status.buildInfo.productName : "";
        summary.manufacturerName = status && status.buildInfo ? status.buildInfo.manufacturerName : "";

        const startTime = (await readValue(session, "ns=0;i=2258")).getTime();
        summary.currentTimeAdvances = 0;
        for (let i = 0; i < 200 && !summary.currentTimeAdvances; ++i) {
            await new Promise((resolve) => setTimeout(resolve, 10));
            if ((await readValue(session, "ns=0;i=2258")).getTime() > startTime)
                summary.currentTimeAdvances = 1;
        }

        summary.sessionsWithOne = await readValue(session, "ns=1;s=ObjectStatistics_Session");
        await second.connect(url);
        const secondSession = await second.createSession();
        summary.sessionsWithTwo = await readValue(session, "ns=1;s=ObjectStatistics_Session");
        await secondSession.close();

        const texts = await readValue(session, "ns=0;i=7612");
        summary.stateTexts = texts.length;
        summary.stateText7 = texts.length > 7 ? texts[7].text : "";

        const nodes = await subtree(session);
        summary.nodesBelowServer = nodes.length;
        const unexpected = [];
        for (const nodeId of nodes) {
            const reads = [];
            for (let attributeId = 1; attributeId <= 22; ++attributeId)
                reads.push({ nodeId, attributeId });
            const values = await session.read(reads);
            values.forEach((value, i) => {
                if (value.statusCode !== StatusCodes.Good && value.statusCode !== StatusCodes.BadAttributeIdInvalid)
                    unexpected.push(`${nodeId}/${i + 1}:${value.statusCode.name}`);
            });
        }
        summary.unexpectedAttributes = unexpected.length;
        summary.firstUnexpected = unexpected.slice(0, 5).join(" ");
        await session.close();
        summary.closed = 1;
    } catch (error) {
        summary.error = String((error && error.message) || error);
    }
    await second.disconnect();
    await first.disconnect();
    console.log(JSON.stringify(summary));
}

main().then(() => process.exit(0), (error) => {
    console.log(JSON.stringify({ error: String((error && error.message) || error) }));
    process.exit(1);
});
