// One session of the outside client with Opcwatch under a security policy and mode, anonymous or
// with a user name: the endpoints' token types, the server's BuildInfo, the namespace table and
// the companion entry points below Objects and ObjectTypes. Prints one JSON line.
// Arguments: url policy(None|Basic128Rsa15|Basic256) mode(None|Sign|SignAndEncrypt)
//            identity(anonymous|user) [userName password]
// The client keeps its certificate in the PKI folder below $HOME.
const { OPCUAClient, AttributeIds, MessageSecurityMode, SecurityPolicy, UserTokenType, coerceNodeId } = require("node-opcua-client");

// BuildInfo's ProductUri, ManufacturerName, ProductName, SoftwareVersion, BuildNumber.
const BUILD_INFO = { productUri: "i=2262", manufacturerName: "i=2263", productName: "i=2261",
                     softwareVersion: "i=2264", buildNumber: "i=2265" };

async function browseNames(session, nodeId) {
    const result = await session.browse({ nodeId, referenceTypeId: "i=33", includeSubtypes: true, resultMask: 63 });
    // Expanded NodeIds, whose text has no URI form.
    const text = (nodeId) => coerceNodeId(nodeId.toString()).toString({ namespaceArray: session.namespaceArray });
    return (result.references || []).map((r) => `${text(r.nodeId)} ${r.browseName.name}`);
}

async function main() {
    const [url, policy, mode, identity, userName, password] = process.argv.slice(2);
    const client = OPCUAClient.create({
        applicationName: "opcwatch-node-test",
        endpointMustExist: false,
        securityMode: MessageSecurityMode[mode],
        securityPolicy: SecurityPolicy[policy],
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        keepSessionAlive: false,
    });
    const summary = {};
    try {
        await client.connect(url);
        const endpoints = await client.getEndpoints();
        summary.tokens = [...new Set(endpoints.flatMap((e) => (e.userIdentityTokens || []).map((t) => UserTokenType[t.tokenType])))];
        const userIdentity = identity === "user" ? { type: UserTokenType.UserName, userName, password } : undefined;
        const session = await client.createSession(userIdentity);
        summary.session = 1;
        session.namespaceArray = await session.readNamespaceArray();
        summary.namespaces = session.namespaceArray;
        const names = Object.keys(BUILD_INFO);
        const values = await session.read(names.map((name) => ({ nodeId: BUILD_INFO[name], attributeId: AttributeIds.Value })));
        names.forEach((name, i) => (summary[name] = values[i].value.value));
        summary.objects = await browseNames(session, "i=85");
        summary.objectTypes = await browseNames(session, "i=88");
        await session.close();
        summary.closed = 1;
    } catch (error) {
        summary.error = String((error && error.message) || error);
    }
    await client.disconnect();
    console.log(JSON.stringify(summary));
}

main().then(() => process.exit(0), (error) => {
    console.log(JSON.stringify({ error: String((error && error.message) || error) }));
    process.exit(1);
});
