// Drives the test server over a secured channel: endpoints, session (signed
// by both sides), reads (one response larger than a chunk), close, disconnect.
// The client keeps its certificate in the PKI folder below $HOME unless
// CLIENT_CERTIFICATE and CLIENT_PRIVATE_KEY name PEM files. Prints a JSON
// summary.
// Arguments: url policy(Basic256|Basic128Rsa15) mode(Sign|SignAndEncrypt)
//            [tokenLifetimeMs renewalsWanted readsWanted endpointUrlMustMatch(1|0)]
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds } = require("node-opcua-client");

async function main() {
    const [url, policy, mode] = process.argv.slice(2, 5);
    const lifetime = Number(process.argv[5] || 600000);
    const renewalsWanted = Number(process.argv[6] || 0);
    const readsWanted = Number(process.argv[7] || 1);
    const mustMatch = (process.argv[8] || "1") === "1";
    const files = process.env.CLIENT_CERTIFICATE
        ? { certificateFile: process.env.CLIENT_CERTIFICATE, privateKeyFile: process.env.CLIENT_PRIVATE_KEY }
        : {};
    const client = OPCUAClient.create({
        ...files,
        applicationName: "uatcp-secure-test",
        endpointMustExist: mustMatch,
        securityMode: MessageSecurityMode[mode],
        securityPolicy: SecurityPolicy[policy],
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        defaultSecureTokenLifetime: lifetime,
        keepSessionAlive: false,
        requestedSessionTimeout: 60000,
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
    const deadline = Date.now() + 60000;
    while ((renewals < renewalsWanted || reads < readsWanted) && Date.now() < deadline) {
        if (renewalsWanted > 0)
            await new Promise((resolve) => setTimeout(resolve, 50));
        values = await read();
        reads++;
    }
    const big = values[2].value.value;
    const summary = {
        endpoints: endpoints.length,
        secured: endpoints.filter((e) => e.securityMode !== MessageSecurityMode.None).length,
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
    console.log(JSON.stringify({ error: String(error && error.message || error) }));
    process.exit(1);
});
