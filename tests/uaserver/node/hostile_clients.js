// Clients that attack the sessions of uaserver_testserver, each case followed by a client that must
// still be served. Prints a JSON summary of the status names each step got.
// Arguments: url case [more]
//   takeover certificate.pem key.pem user password: an owner logs on as user over Basic256 Sign
//            with that certificate; another client sends ActivateSession with the owner's token
//            over None, then reads with it; the owner reads after that
//   replay user password: a logon over None is captured and sent again, into a second session and
//            into the same session
//   flood count: one connection creates count sessions that ask for no time-out (0) and activates
//            none; a fresh client then logs on and reads, and the first session of the flood is
//            tried
//   closed count: count clients each open a session, close it and keep the bare channel; a fresh
//            client then logs on and reads
const {
    OPCUAClient, MessageSecurityMode, SecurityPolicy, UserTokenType, AttributeIds, StatusCodes,
    ActivateSessionRequest, AnonymousIdentityToken, CreateSessionRequest, ReadRequest, ApplicationType,
} = require("node-opcua-client");
const crypto = require("crypto");
const { reportRun } = require("./report");

const [url, which, ...more] = process.argv.slice(2);
const kServerState = "i=2259";

function newClient(options = {}) {
    return OPCUAClient.create({
        applicationName: "uaserver-hostile-test",
        endpointMustExist: false,
        connectionStrategy: { maxRetry: 0, initialDelay: 100, maxDelay: 200 },
        keepSessionAlive: false,
        requestedSessionTimeout: 60000,
        ...options,
    });
}

// One request on client's secure channel, outside any session object; the response or the
// fault's status name.
function transact(client, request) {
    return new Promise((resolve) => {
        client.performMessageTransaction(request, (error, response) => {
            if (error) {
                const match = /Bad[A-Za-z]+/.exec(String(error.message || error));
                resolve({ status: match ? match[0] : String(error.message || error) });
            } else {
                resolve({ status: response.responseHeader.serviceResult.name, response });
            }
        });
    });
}

function activate(client, authenticationToken, userIdentityToken) {
    return transact(client, new ActivateSessionRequest({
        requestHeader: { authenticationToken },
        userIdentityToken: userIdentityToken || new AnonymousIdentityToken({ policyId: "Anonymous" }),
        localeIds: [],
    }));
}

async function readState(client, authenticationToken) {
    const answer = await transact(client, new ReadRequest({
        requestHeader: { authenticationToken },
        nodesToRead: [{ nodeId: kServerState, attributeId: AttributeIds.Value }],
    }));
    return answer.response ? answer.response.results[0].statusCode.name : answer.status;
}

// A client that logs on anonymously and reads the server's State: how a fresh client fares.
async function freshClientStatus() {
    const fresh = newClient();
    try {
        await fresh.connect(url);
        const session = await fresh.createSession();
        const value = await session.read({ nodeId: kServerState, attributeId: AttributeIds.Value });
        await session.close();
        return value.statusCode.name;
    } catch (error) {
        const match = /Bad[A-Za-z]+/.exec(String(error.message || error));
        return match ? match[0] : String(error.message || error);
    } finally {
        await fresh.disconnect();
    }
}

// The owner's session on a secured channel is not to be taken over from another channel.
async function takeover(owner, summary) {
    const [, , userName, password] = more;
    const session = await owner.createSession({ type: UserTokenType.UserName, userName, password });
    summary.ownerBefore = (await session.read({ nodeId: kServerState, attributeId: AttributeIds.Value })).statusCode.name;
    const attacker = newClient();
    await attacker.connect(url);
    try {
        summary.takeover = (await activate(attacker, session.authenticationToken)).status;
        summary.attackerRead = await readState(attacker, session.authenticationToken);
    } finally {
        await attacker.disconnect();
    }
    summary.ownerAfter = (await session.read({ nodeId: kServerState, attributeId: AttributeIds.Value })).statusCode.name;
    await session.close();
}

// A logon's encrypted password is bound to its session's nonce: sent again, it logs nobody on.
async function replay(client, summary) {
    const [userName, password] = more;
    let captured;
    const send = client.performMessageTransaction.bind(client);
    client.performMessageTransaction = (request, callback) => {
        if (request instanceof ActivateSessionRequest && !captured && request.userIdentityToken.userName)
            captured = request.userIdentityToken;
        send(request, callback);
    };
    const session = await client.createSession({ type: UserTokenType.UserName, userName, password });
    summary.logon = captured && captured.encryptionAlgorithm ? "encrypted" : "in clear";
    const second = await client.createSession();
    summary.intoSecondSession = (await activate(client, second.authenticationToken, captured)).status;
    summary.intoSameSession = (await activate(client, session.authenticationToken, captured)).status;
    summary.ownerAfter = (await session.read({ nodeId: kServerState, attributeId: AttributeIds.Value })).statusCode.name;
    await second.close();
    await session.close();
}

// Sessions that nobody activates do not keep anyone out.
async function flood(client, summary) {
    const count = Number(more[0]);
    const created = {};
    let first;
    for (let i = 0; i < count; ++i) {
        const answer = await transact(client, new CreateSessionRequest({
            clientDescription: { applicationUri: "urn:flood", applicationName: { text: "flood" },
                                 applicationType: ApplicationType.Client },
            endpointUrl: url,
            sessionName: "flood " + i,
            clientNonce: crypto.randomBytes(32),
            requestedSessionTimeout: 0,
            maxResponseMessageSize: 0,
        }));
        created[answer.status] = (created[answer.status] || 0) + 1;
        if (i === 0 && answer.response) {
            first = answer.response.authenticationToken;
            summary.revisedTimeout = answer.response.revisedSessionTimeout;
            summary.nonceLength = answer.response.serverNonce ? answer.response.serverNonce.length : 0;
        }
    }
    summary.created = Object.entries(created).map(([status, n]) => status + ":" + n).join(",");
    summary.fresh = await freshClientStatus();
    summary.firstOfFlood = first ? (await activate(client, first)).status : "none";
}

// Channels whose sessions were closed are no longer kept for a session: a newcomer may take one's
// place.
async function closed(client, summary) {
    const count = Number(more[0]);
    const idle = [client];
    let closedSessions = 0;
    try {
        for (let i = 0; i < count; ++i) {
            const bare = i === 0 ? client : newClient();
            if (i > 0) {
                await bare.connect(url);
                idle.push(bare);
            }
            const session = await bare.createSession();
            await session.close();
            ++closedSessions;
        }
        summary.closedSessions = closedSessions;
        summary.fresh = await freshClientStatus();
    } finally {
        for (const bare of idle.slice(1))
            await bare.disconnect().catch(() => {});
    }
}

const secured = which === "takeover";
const client = newClient(secured ? {
    securityMode: MessageSecurityMode.Sign,
    securityPolicy: SecurityPolicy.Basic256,
    certificateFile: more[0],
    privateKeyFile: more[1],
} : {});
const cases = { takeover, replay, flood, closed };
reportRun(client, url, async (summary) => {
    if (!cases[which])
        throw new Error("unknown case " + which);
    await cases[which](client, summary);
    summary.done = 1;
});
