// One client run against uaserver_testserver: endpoints, FindServers, a session under the given
// policy, mode and identity, Multiply(3, 4), close. Prints a JSON summary.
// Arguments: url policy(None|Basic128Rsa15|Basic256) mode(None|Sign|SignAndEncrypt)
//            identity(anonymous|user) [userName password]
// The client keeps its certificate in the PKI folder below $HOME.
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, UserTokenType, DataType } = require("node-opcua-client");
const { reportRun } = require("./report");

const [url, policy, mode, identity, userName, password] = process.argv.slice(2);
const client = OPCUAClient.create({
    applicationName: "uaserver-node-test",
    endpointMustExist: true,
    securityMode: MessageSecurityMode[mode],
    securityPolicy: SecurityPolicy[policy],
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
    requestedSessionTimeout: 60000,
});
reportRun(client, url, async (summary) => {
    const endpoints = await client.getEndpoints();
    summary.endpoints = endpoints.length;
    summary.levels = endpoints.map((e) => e.securityLevel).join(",");
    const servers = await client.findServers();
    summary.servers = servers.length;
    summary.applicationUri = servers.length ? servers[0].applicationUri : "";
    const userIdentity = identity === "user" ? { type: UserTokenType.UserName, userName, password } : undefined;
    const session = await client.createSession(userIdentity);
    summary.session = 1;
    const result = await session.call({
        objectId: "ns=2;i=10",
        methodId: "ns=2;i=11",
        inputArguments: [
            { dataType: DataType.Double, value: 3 },
            { dataType: DataType.Double, value: 4 },
        ],
    });
    summary.callStatus = result.statusCode.name;
    summary.product = result.outputArguments.length ? result.outputArguments[0].value : -1;
    await session.close();
    summary.closed = 1;
});
