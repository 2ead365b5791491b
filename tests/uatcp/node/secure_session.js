// Drives the test server over a secured channel: endpoints, session (signed
// by both sides), reads (one response larger than a chunk), close, disconnect.
// The client keeps its certificate in the PKI folder below $HOME unless
// CLIENT_CERTIFICATE and CLIENT_PRIVATE_KEY name PEM files. Prints a JSON
// summary.
// Arguments: url policy(Basic256|Basic128Rsa15) mode(Sign|SignAndEncrypt)
//            [tokenLifetimeMs renewalsWanted readsWanted endpointUrlMustMatch(1|0)]
const { MessageSecurityMode, SecurityPolicy } = require("node-opcua-client");
const { runSessionReads } = require("./session_reads.js");

async function main() {
    const [url, policy, mode] = process.argv.slice(2, 5);
    const lifetime = Number(process.argv[5] || 600000);
    const renewalsWanted = Number(process.argv[6] || 0);
    const readsWanted = Number(process.argv[7] || 1);
    const mustMatch = (process.argv[8] || "1") === "1";
    const files = process.env.CLIENT_CERTIFICATE
        ? { certificateFile: process.env.CLIENT_CERTIFICATE, privateKeyFile: process.env.CLIENT_PRIVATE_KEY }
        : {};
    const { endpoints, results } = await runSessionReads(url, {
        ...files,
        applicationName: "uatcp-secure-test",
        endpointMustExist: mustMatch,
        securityMode: MessageSecurityMode[mode],
        securityPolicy: SecurityPolicy[policy],
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        defaultSecureTokenLifetime: lifetime,
        keepSessionAlive: false,
        requestedSessionTimeout: 60000,
    }, renewalsWanted, readsWanted);
    const summary = {
        endpoints: endpoints.length,
        secured: endpoints.filter((e) => e.securityMode !== MessageSecurityMode.None).length,
        ...results,
    };
    console.log(JSON.stringify(summary));
}

main().then(() => process.exit(0), (error) => {
    console.log(JSON.stringify({ error: String(error && error.message || error) }));
    process.exit(1);
});
