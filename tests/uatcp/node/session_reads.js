// The session run both test scripts share: connect, endpoints, session, reads
// of the three test values (one response larger than a chunk), close,
// disconnect. Reads go on until the channel was renewed renewalsWanted times
// and readsWanted reads were made, for a minute at most.
const { OPCUAClient, AttributeIds } = require("node-opcua-client");

async function runSessionReads(url, clientOptions, renewalsWanted, readsWanted) {
    const client = OPCUAClient.create(clientOptions);
    let renewals = 0;
    client.on("security_token_renewed", () => renewals++);
    await client.connect(url);
    const endpoints = await client.getEndpoints();
    const session = await client.createSession();
    const read = () => session.read([
        { nodeId: "ns=1;i=1", attributeId: AttributeIds.Value },
        { nodeId: "ns=1;i=2", attributeId: AttributeIds.Value },
        { nodeId: "ns=1;i=3", attributeId: AttributeIds.Value },
    ]);
    let values = await read();
    let reads = 1;
    // With a short token lifetime, keep reading until the channel was renewed often enough.
    const deadline = Date.now() + 60000;
    while ((renewals < renewalsWanted || reads < readsWanted) && Date.now() < deadline) {
        if (renewalsWanted > 0)
            await new Promise((resolve) => setTimeout(resolve, 50));
        values = await read();
        reads++;
    }
    const big = values[2].value.value;
    const results = {
        double: values[0].value.value,
        text: values[1].value.value,
        arrayLength: big.length,
        arrayLast: big[big.length - 1],
        reads,
        renewals,
    };
    await session.close();
    await client.disconnect();
    return { endpoints, results };
}

module.exports = { runSessionReads };
