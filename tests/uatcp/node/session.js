// Drives the test server with the outside client: endpoints, session, reads
// (one response larger than a chunk), close, disconnect. Prints a JSON summary.
// Arguments: url [tokenLifetimeMs renewalsWanted]
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds } = require("node-opcua-client");

async function main() {
    const url = process.argv[2];
    const lifetime = Number(process.argv[3] || 600000);
    const renewalsWanted = Number(process.argv[4] || 0);
    const client = OPCUAClient.create({
        applicationName: "uatcp-test",
        endpointMustExist: true,
        securityMode: MessageSecurityMode.None,
        securityPolicy: SecurityPolicy.None,
        connectionStrategy: { maxRetry: 1, initialDelay: 100, maxDelay: 500 },
        defaultSecureTokenLifetime: lifetime,
        keepSessionAlive: false,
    });
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
    while (renewals < renewalsWanted && Date.now() < deadline) {
        await new Promise((resolve) => setTimeout(resolve, 50));
        values = await read();
        reads++;
    }
    const big = values[2].value.value;
    const summary = {
        endpoints: endpoints.length,
        endpointUrl: endpoints[0].endpointUrl,
        double: values[0].value.value,
        text: values[1].value.value,
        arrayLength: big.length,
        arrayLast: big[big.length - 1],
        reads,
        renewals,
    };
    await session.close();
    await client.disconnect();
    console.log(JSON.stringify(summary));
}

main().then(() => process.exit(0), (error) => {
    console.error(String(error && error.stack || error));
    process.exit(1);
});
