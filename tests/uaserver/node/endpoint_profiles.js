// GetEndpoints of uaserver_testserver under several transport profile filters, on a None channel.
// Arguments: url. Prints a JSON object: per filter name, the number of endpoints answered or the
// error text.
const { OPCUAClient, MessageSecurityMode, SecurityPolicy } = require("node-opcua-client");

const binary = "http://opcfoundation.org/UA-Profile/Transport/uatcp-uasc-uabinary";
const https = "http://opcfoundation.org/UA-Profile/Transport/https-uabinary";

async function main() {
    const [url] = process.argv.slice(2);
    const client = OPCUAClient.create({
        applicationName: "uaserver-node-profiles",
        endpointMustExist: false,
        securityMode: MessageSecurityMode.None,
        securityPolicy: SecurityPolicy.None,
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        keepSessionAlive: false,
    });
    const summary = {};
    try {
        await client.connect(url);
        const filters = { none: undefined, binary: [binary], https: [https], both: [https, binary] };
        for (const [name, profileUris] of Object.entries(filters)) {
            try {
                const endpoints = await client.getEndpoints(profileUris ? { profileUris } : {});
                summary[name] = endpoints.length;
            } catch (err) {
                summary[name] = String(err.message);
            }
        }
    } catch (err) {
        summary.error = String(err.message);
    } finally {
        await client.disconnect();
    }
    console.log(JSON.stringify(summary));
}

main().then(() => process.exit(0), (err) => { console.error(err); process.exit(1); });
