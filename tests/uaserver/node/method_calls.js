// The method service of the test server as an outside client sees it: the argument properties of
// Multiply (ns=2;i=11) by browse name, the argument types the client learns from them, and a list
// of calls. Prints one JSON line: "properties", "inputTypes", and per call i "call<i>": the status,
// the input argument results when there are any, and "= outputs" when there are any.
// Arguments: url callsJson
//   callsJson: [{"objectId": "ns=2;i=10", "methodId": "ns=2;i=11",
//                "inputArguments": [{"dataType": "Double", "value": 2, "array": false}, ...]}, ...]
const { OPCUAClient, BrowseDirection, DataType, StatusCode, Variant, VariantArrayType } = require("node-opcua-client");
const { reportRun } = require("./report");

const kMultiply = "ns=2;i=11";
const [url, callsJson] = process.argv.slice(2);
const calls = JSON.parse(callsJson || "[]");
const client = OPCUAClient.create({
    applicationName: "uaserver-method-calls-test",
    endpointMustExist: false,
    connectionStrategy: { maxRetry: 1, initialDelay: 100, maxDelay: 500 },
    keepSessionAlive: false,
});
const statusName = (code) => (code instanceof StatusCode ? code.name : String(code));

reportRun(client, url, async (summary) => {
    const session = await client.createSession();
    const browsed = await session.browse({
        nodeId: kMultiply, browseDirection: BrowseDirection.Forward, referenceTypeId: "HasProperty",
        includeSubtypes: true, nodeClassMask: 0, resultMask: 63,
    });
    summary.properties = (browsed.references || [])
        .map((reference) => `${reference.browseName.namespaceIndex}:${reference.browseName.name}`).sort().join(",");
    const definition = await session.getArgumentDefinition(kMultiply);
    summary.inputTypes = definition.inputArguments.map((argument) => argument.dataType.toString()).join(",");
    const results = await session.call(calls.map((call) => ({
        objectId: call.objectId,
        methodId: call.methodId,
        inputArguments: call.inputArguments.map((argument) => new Variant({
            dataType: DataType[argument.dataType],
            arrayType: argument.array ? VariantArrayType.Array : VariantArrayType.Scalar,
            value: argument.value,
        })),
    })));
    results.forEach((result, i) => {
        const inputs = (result.inputArgumentResults || []).map(statusName).join(",");
        const outputs = (result.outputArguments || []).map((output) => output.value).join(",");
        summary[`call${i}`] = statusName(result.statusCode) + (inputs ? ` ${inputs}` : "") +
            (outputs ? ` = ${outputs}` : "");
    });
    await session.close();
});
