// One client run against uaserver_testserver started with the DI and PLCopen models: browses from
// Root to DeviceSet and CtrlTypes and down the subtypes of BaseObjectType to CtrlProgramType, reads
// the NamespaceArray and every attribute of every DI and PLCopen node, calls Start on a MethodSet
// and reads again on the same session. Prints a JSON summary.
// Arguments: url
const { OPCUAClient, AttributeIds, BrowseDirection, StatusCodes } = require("node-opcua-client");
const { reportRun } = require("./report");

const HIERARCHICAL = "i=33";

async function browseNames(session, nodeId, referenceTypeId, direction = BrowseDirection.Forward) {
    const result = await session.browse({ nodeId, referenceTypeId, includeSubtypes: true, browseDirection: direction,
                                          resultMask: 63 });
    return (result.references || []).map((r) => ({ name: r.browseName.name, ns: r.browseName.namespaceIndex,
                                                   nodeId: r.nodeId.toString() }));
}

// The node reached from a node by a browse name, or null.
async function child(session, nodeId, name, referenceTypeId = HIERARCHICAL) {
    const found = (await browseNames(session, nodeId, referenceTypeId)).find((r) => r.name === name);
    return found ? found.nodeId : null;
}

const url = process.argv[2];
const client = OPCUAClient.create({
    applicationName: "uaserver-companion-test",
    endpointMustExist: false,
    connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
    keepSessionAlive: false,
});
reportRun(client, url, async (summary) => {
    const session = await client.createSession();

    // Root -> Objects -> DeviceSet; Root -> Types -> ObjectTypes -> CtrlTypes.
    const objects = await child(session, "i=84", "Objects");
    summary.deviceSet = await child(session, objects, "DeviceSet");
    const types = await child(session, "i=84", "Types");
    const objectTypes = await child(session, types, "ObjectTypes");
    summary.ctrlTypes = await child(session, objectTypes, "CtrlTypes");
    summary.ctrlTypesChildren = (await browseNames(session, summary.ctrlTypes, HIERARCHICAL)).length;

    // BaseObjectType -> TopologyElementType -> BlockType -> CtrlProgramOrganizationUnitType -> CtrlProgramType.
    const path = ["TopologyElementType", "BlockType", "CtrlProgramOrganizationUnitType", "CtrlProgramType"];
    let node = "i=58";
    summary.subtypePath = [];
    for (const name of path) {
        node = await child(session, node, name, "i=45");
        summary.subtypePath.push(node);
        if (!node)
            break;
    }

    const deviceType = await child(session, summary.subtypePath[0], "DeviceType", "i=45");
    summary.deviceTypeProperties = (await browseNames(session, deviceType, "i=46")).map((r) => r.name).sort();
    const configurationType = await child(session, summary.subtypePath[0], "CtrlConfigurationType", "i=45");
    const methodSet = await child(session, configurationType, "MethodSet", "i=47");
    summary.methods = (await browseNames(session, methodSet, "i=47")).map((r) => r.name).sort();

    const namespaces = await session.read({ nodeId: "i=2255", attributeId: AttributeIds.Value });
    summary.namespaceArray = namespaces.value.value;

    // Every node of namespaces 2 and 3 reached from Root, every attribute of each.
    const seen = new Set(["i=84"]);
    const queue = ["i=84"];
    const companionNodes = [];
    while (queue.length) {
        const current = queue.shift();
        for (const reference of await browseNames(session, current, HIERARCHICAL)) {
            if (seen.has(reference.nodeId))
                continue;
            seen.add(reference.nodeId);
            queue.push(reference.nodeId);
            if (/^ns=[23];/.test(reference.nodeId))
                companionNodes.push(reference.nodeId);
        }
    }
    summary.companionNodes = companionNodes.length;
    const reads = [];
    for (const nodeId of companionNodes)
        for (let attributeId = 1; attributeId <= 22; ++attributeId)
            reads.push({ nodeId, attributeId });
    const values = await session.read(reads);
    summary.attributesRead = values.length;
    summary.unexpected = values
        .map((v, i) => ({ v, r: reads[i] }))
        .filter(({ v }) => v.statusCode !== StatusCodes.Good && v.statusCode !== StatusCodes.BadAttributeIdInvalid)
        .map(({ v, r }) => `${r.nodeId}/${r.attributeId}: ${v.statusCode.name}`)
        .slice(0, 10);

    const call = await session.call({ objectId: methodSet, methodId: "ns=3;i=7001", inputArguments: [] });
    summary.callStatus = call.statusCode.name;
    const again = await session.read({ nodeId: "i=2255", attributeId: AttributeIds.Value });
    summary.afterCall = again.statusCode.name;
    await session.close();
});
