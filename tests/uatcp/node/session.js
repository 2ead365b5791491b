// Drives the test server with the outside client: endpoints, session, reads
// (one response larger than a chunk), close, disconnect. Prints a JSON summary.
// Arguments: url [tokenLifetimeMs renewalsWanted]
const { MessageSecurityMode, SecurityPolicy } = require("node-opcua-client");
const { runSessionReads } = require("./session_reads.js");

async function main() {
    const url = process.argv[2];
    const lifetime = Number(process.argv[3] || 600000);
    const renewalsWanted = Number(process.argv[4] || 0);
    const { endpoints, results } = await runSessionReads(url, {
        applicationName: "uatcp-test",
        endpointMustExist: true,
        securityMode: MessageSecurityMode.None,
        securityPolicy: SecurityPolicy.None,
        connectionStrategy: { maxRetry: 1, initialDelay: 100, maxDelay: 500 },
        defaultSecureTokenLifetime: lifetime,
        keepSessionAlive: false,
    }, renewalsWanted, 1);
    const summary = { endpoints: endpoints.length, endpointUrl: endpoints[0].endpointUrl, ...results };
    console.log(JSON.stringify(summary));
}

main().then(() => process.exit(0), (error) => {
    console.error(String(error && error.stack || error));
    process.exit(1);
});
