// What the OPC UA tests share: varbank serve started on free ports of 127.0.0.1.
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";

const kStartMs = 60000;

// Starts `varbank serve ARGS... --port 0 --opcua-port 0` and waits for its two address lines:
// { child, http, opcua }. `stderr` is "inherit", "ignore", or a function given each line.
export function startServe(args, { env = {}, stderr = "inherit" } = {}) {
    const lines = typeof stderr === "function";
    const child = spawn(process.env.VARBANK_BINARY, ["serve", ...args, "--port", "0", "--opcua-port", "0"],
        { stdio: ["ignore", "pipe", lines ? "pipe" : stderr], env: { ...process.env, ...env } });
    if (lines) {
        createInterface({ input: child.stderr }).on("line", stderr);
    }
    return new Promise((resolve, reject) => {
        const found = {};
        const timer = setTimeout(() => reject(new Error("varbank serve did not print both addresses")), kStartMs);
        child.on("exit", (code) => reject(new Error(`varbank serve exited with ${code}`)));
        createInterface({ input: child.stdout }).on("line", (line) => {
            found.http ??= /^serving .* at (http:\S+)$/.exec(line)?.[1];
            found.opcua ??= /^opcua: listening at (opc\.tcp:\S+)$/.exec(line)?.[1];
            if (found.http && found.opcua) {
                clearTimeout(timer);
                resolve({ child, ...found });
            }
        });
    });
}

// Stops varbank serve with SIGTERM: its exit code, or "timeout" when it has not exited in `ms`.
export async function stopServe(child, ms = 15000) {
    if (!child || child.exitCode !== null) {
        return child?.exitCode ?? null;
    }
    const exited = new Promise((resolve) => child.on("exit", (code) => resolve(code)));
    child.kill("SIGTERM");
    return Promise.race([exited, new Promise((resolve) => setTimeout(() => resolve("timeout"), ms))]);
}
