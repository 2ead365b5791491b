// The attribute and view services of the test server as an outside client sees them: reads of
// namespace 0, writes read back, path translation, registered nodes and a browse of all of
// namespace 0 that follows every continuation point. Prints one JSON line: the failed checks and
// the namespace-0 nodes the browse reached.
// Arguments: url security(none|basic256) variablesJson [certificateFile privateKeyFile]
//   variablesJson: [{"nodeId": "ns=2;s=Int32", "dataType": "Int32", "value": 5}, ...]
const {
    OPCUAClient, AttributeIds, BrowseDirection, DataType, MessageSecurityMode, SecurityPolicy, StatusCodes,
    makeBrowsePath, resolveNodeId, NodeClassMask,
} = require("node-opcua-client");

const failures = [];
function check(name, condition, detail) {
    if (!condition)
        failures.push(`${name}: ${detail === undefined ? "" : JSON.stringify(detail)}`);
}
const code = (dataValueOrStatus) => (dataValueOrStatus.statusCode || dataValueOrStatus).value;

async function readAttributes(session) {
    const objects = await session.read([1, 2, 3, 4, 12].map((attributeId) => ({ nodeId: "i=85", attributeId })));
    check("Objects NodeId", objects[0].value.value.toString() === "ns=0;i=85", objects[0].value.value.toString());
    check("Objects NodeClass", objects[1].value.value === 1, objects[1].value.value);
    check("Objects BrowseName", objects[2].value.value.name === "Objects", objects[2].value.value.toString());
    check("Objects DisplayName", objects[3].value.value.text === "Objects", objects[3].value.value.text);
    check("Objects EventNotifier", code(objects[4]) === 0, code(objects[4]));

    const [state, stateType] = await session.read([
        { nodeId: "i=2141", attributeId: AttributeIds.Value },
        { nodeId: "i=2141", attributeId: AttributeIds.DataType },
    ]);
    check("State type", state.value.dataType === DataType.Int32, state.value.dataType);
    check("State value", state.value.value === 7, state.value.value);
    check("State DataType", stateType.value.value.toString() === "ns=0;i=852", stateType.value.value.toString());

    const [enumStrings, folderValue, unknown] = await session.read([
        { nodeId: "i=7595", attributeId: AttributeIds.Value },
        { nodeId: "i=85", attributeId: AttributeIds.Value },
        { nodeId: "i=99999", attributeId: AttributeIds.Value },
    ]);
    const texts = (enumStrings.value.value || []).map((text) => text.text);
    check("EnumStrings", JSON.stringify(texts) === JSON.stringify(["Invalid", "None", "Sign", "SignAndEncrypt"]),
          texts);
    check("folder Value", code(folderValue) === StatusCodes.BadAttributeIdInvalid.value, code(folderValue));
    check("unknown node", code(unknown) === StatusCodes.BadNodeIdUnknown.value, code(unknown));
}

function sameValue(a, b) {
    if (a instanceof Date || b instanceof Date)
        return new Date(a).getTime() === new Date(b).getTime();
    if (Array.isArray(a) || ArrayBuffer.isView(a))
        return JSON.stringify(Array.from(a)) === JSON.stringify(Array.from(b));
    return a === b;
}

async function writeAndReadBack(session, variables, aliases) {
    const nodeIds = aliases || variables.map((variable) => variable.nodeId);
    const results = await session.write(variables.map((variable, i) => ({
        nodeId: nodeIds[i], attributeId: AttributeIds.Value,
        value: { value: { dataType: DataType[variable.dataType], value: variable.value,
                          arrayType: Array.isArray(variable.value) ? 1 : 0 } },
    })));
    const read = await session.read(nodeIds.map((nodeId) => ({ nodeId, attributeId: AttributeIds.Value })));
    variables.forEach((variable, i) => {
        const name = `${aliases ? "alias of " : ""}${variable.nodeId}`;
        check(`write ${name}`, results[i].value === 0, results[i].value);
        check(`read back ${name}`, sameValue(read[i].value.value, variable.value), read[i].value.value);
    });
}

async function writeNamespaceZero(session) {
    const [status] = await session.write([{ nodeId: "i=2141", attributeId: AttributeIds.Value,
                                            value: { value: { dataType: DataType.Int32, value: 1 } } }]);
    check("write to namespace 0 refused", (status.value & 0xC0000000) !== 0, status.value);
}

async function translate(session) {
    const [found, missing] = await session.translateBrowsePath([
        makeBrowsePath("i=84", "/Types/ObjectTypes/BaseObjectType/FolderType"),
        makeBrowsePath("i=84", "/Types/ObjectTypes/BaseObjectType/NoSuchType"),
    ]);
    check("FolderType found", found.statusCode.value === 0 && found.targets.length === 1 &&
          found.targets[0].targetId.toString() === "ns=0;i=61", found.toString());
    check("missing element", missing.statusCode.value === StatusCodes.BadNoMatch.value, missing.statusCode.value);
}

async function registeredNodes(session, variables) {
    const aliases = await session.registerNodes(variables.map((variable) => variable.nodeId));
    check("aliases in namespace 99", aliases.every((alias) => alias.namespace === 99), aliases.map(String));
    await writeAndReadBack(session, variables.map((variable) => ({ ...variable })), aliases);
    await session.unregisterNodes(aliases);
    const after = await session.read(aliases.map((nodeId) => ({ nodeId, attributeId: AttributeIds.Value })));
    after.forEach((value, i) => check(`alias ${aliases[i]} after unregister`,
                                      code(value) === StatusCodes.BadNodeIdUnknown.value, code(value)));
}

// Breadth first from Root over forward hierarchical references, three references per answer, every
// continuation point followed; only namespace-0 nodes are browsed on.
async function walkNamespaceZero(session) {
    session.requestedMaxReferencesPerNode = 3;
    const reached = new Set([84]);
    let queue = [84];
    let continuations = 0;
    while (queue.length > 0) {
        const batch = queue.splice(0, 50);
        const results = await session.browse(batch.map((id) => ({
            nodeId: resolveNodeId(`i=${id}`), browseDirection: BrowseDirection.Forward,
            referenceTypeId: "HierarchicalReferences", includeSubtypes: true, nodeClassMask: NodeClassMask.Unspecified,
            resultMask: 63,
        })));
        const pending = [];
        const take = (result, from) => {
            check(`browse of i=${from}`, result.statusCode.value === 0, result.statusCode.value);
            for (const reference of result.references || []) {
                const target = reference.nodeId;
                if (target.namespace === 0 && typeof target.value === "number" && !reached.has(target.value)) {
                    reached.add(target.value);
                    queue.push(target.value);
                }
            }
            if (result.continuationPoint && result.continuationPoint.length > 0)
                pending.push({ point: result.continuationPoint, from });
        };
        results.forEach((result, i) => take(result, batch[i]));
        while (pending.length > 0) {
            const next = pending.splice(0, pending.length);
            continuations += next.length;
            const more = await session.browseNext(next.map((entry) => entry.point), false);
            more.forEach((result, i) => take(result, next[i].from));
        }
    }
    return { reached: [...reached].sort((a, b) => a - b), continuations };
}

async function main() {
    const [url, security, variablesJson, certificateFile, privateKeyFile] = process.argv.slice(2);
    const variables = JSON.parse(variablesJson || "[]");
    const secured = security === "basic256";
    const client = OPCUAClient.create({
        applicationName: "uaserver-services-test",
        endpointMustExist: false,
        securityMode: secured ? MessageSecurityMode.SignAndEncrypt : MessageSecurityMode.None,
        securityPolicy: secured ? SecurityPolicy.Basic256 : SecurityPolicy.None,
        certificateFile, privateKeyFile,
        connectionStrategy: { maxRetry: 1, initialDelay: 100, maxDelay: 500 },
        keepSessionAlive: false,
    });
    await client.connect(url);
    const session = await client.createSession();
    await readAttributes(session);
    await writeAndReadBack(session, variables);
    await writeNamespaceZero(session);
    await translate(session);
    await registeredNodes(session, variables);
    const walk = await walkNamespaceZero(session);
    await session.close();
    await client.disconnect();
    console.log(JSON.stringify({ failures, ...walk }));
}

main().then(() => process.exit(0), (error) => {
    console.error(String(error && error.stack || error));
    process.exit(1);
});
