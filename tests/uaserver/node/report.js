// How the scripts of this folder end: one JSON line of what the run found; and how they wait.
const errorText = (error) => String((error && error.message) || error);

// Connects client to url and lets body (summary) fill the summary; an error ends the body and is
// kept in the summary as "error". The client disconnects in every case, the summary is printed and
// the process exits 0; 1 only when reporting itself failed.
function reportRun(client, url, body) {
    const summary = {};
    const run = async () => {
        try {
            await client.connect(url);
            await body(summary);
        } catch (error) {
            summary.error = errorText(error);
        }
        await client.disconnect();
        console.log(JSON.stringify(summary));
    };
    run().then(() => process.exit(0), (error) => {
        console.log(JSON.stringify({ error: errorText(error) }));
        process.exit(1);
    });
}

// Waits for condition, checked every 20 ms; false when the deadline passed first.
async function until(condition, deadlineMs = 30000) {
    const end = Date.now() + deadlineMs;
    while (!condition()) {
        if (Date.now() > end)
            return false;
        await new Promise((resolve) => setTimeout(resolve, 20));
    }
    return true;
}

module.exports = { reportRun, until };
