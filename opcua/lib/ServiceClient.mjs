// The service's HTTP API over loopback: the dictionaries, resolve, browse and values. Every
// call answers with the parsed JSON or throws a ServiceError with the status and the reason.
import { parseExactJson } from "./ExactJson.mjs";

// What one request of resolve or values carries at most (the service refuses more).
export const kMaxItemsPerRequest = 10000;

export class ServiceError extends Error {
    constructor(status, reason) {
        super(reason);
        this.status = status;
    }
}

export class ServiceClient {
    constructor(baseUrl, { timeoutMs = 30000 } = {}) {
        this.baseUrl = baseUrl.endsWith("/") ? baseUrl : baseUrl + "/";
        this.timeoutMs = timeoutMs;
    }

    async dictionaries() {
        return this.#request("GET", "api/dictionaries");
    }

    // One result per name, in order, as the service resolves them.
    async resolve(dictionary, names) {
        const results = [];
        for (const chunk of chunks(names)) {
            const answer = await this.#request("POST", this.#path(dictionary, "resolve"), {
                items: chunk
            });
            results.push(...answer.results);
        }
        return results;
    }

    // One page of children: { children, continuation }.
    async browse(dictionary, path, pageSize, continuation) {
        const query = new URLSearchParams({ path, pageSize: String(pageSize) });
        if (continuation) {
            query.set("continuation", continuation);
        }
        return this.#request("GET", `${this.#path(dictionary, "browse")}?${query}`);
    }

    // One value per name, in order: { name, value, type, error, milliseconds? }.
    async values(dictionary, names) {
        const values = [];
        for (const chunk of chunks(names)) {
            const answer = await this.#request("POST", this.#path(dictionary, "values"), {
                items: chunk
            });
            values.push(...answer.values);
        }
        return values;
    }

    #path(dictionary, endpoint) {
        return `api/dictionaries/${encodeURIComponent(dictionary)}/${endpoint}`;
    }

    async #request(method, path, body) {
        const options = { method, signal: AbortSignal.timeout(this.timeoutMs) };
        if (body !== undefined) {
            options.body = JSON.stringify(body);
            options.headers = { "Content-Type": "application/json" };
        }
        let response;
        let text;
        try {
            response = await fetch(this.baseUrl + path, options);
            text = await response.text();
        } catch (error) {
            throw new ServiceError(0, `the service at ${this.baseUrl} did not answer: ${error.message}`);
        }
        let json;
        try {
            json = parseExactJson(text);
        } catch {
            throw new ServiceError(response.status, `the service answered ${response.status} with no JSON`);
        }
        if (!response.ok) {
            throw new ServiceError(response.status, json?.error ?? `status ${response.status}`);
        }
        return json;
    }
}

function* chunks(names) {
    for (let i = 0; i < names.length; i += kMaxItemsPerRequest) {
        yield names.slice(i, i + kMaxItemsPerRequest);
    }
}
