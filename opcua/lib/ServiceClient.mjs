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
    // `headers` go with every request (the service's read token, when it asks one).
    constructor(baseUrl, { timeoutMs = 30000, headers = {} } = {}) {
        this.baseUrl = baseUrl.endsWith("/") ? baseUrl : baseUrl + "/";
        this.timeoutMs = timeoutMs;
        this.headers = headers;
    }

    async dictionaries() {
        return this.#request("GET", "api/dictionaries");
    }

    // One result per name, in order, as the service resolves them, each leaf with its
    // declaredType (the type the program writes).
    async resolve(dictionary, names) {
        const results = [];
        for (const chunk of chunks(names)) {
            const answer = await this.#request("POST", `${this.#path(dictionary, "resolve")}?declaredTypes=1`, {
                items: chunk
            });
            results.push(...answer.results);
        }
        return results;
    }

    // One page of children: { children, continuation }; `columns` as the service takes them
    // ("T" adds each child's type name).
    async browse(dictionary, path, pageSize, continuation, columns) {
        const query = new URLSearchParams({ path, pageSize: String(pageSize) });
        if (continuation) {
            query.set("continuation", continuation);
        }
        if (columns) {
            query.set("columns", columns);
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

    // Writes values in one request: `values` is the JSON text of the object of name -> value
    // (made by the caller, so that 64-bit integers keep their digits). Answers the service's
    // { values: [{ name, type, error }], written }.
    async write(dictionary, valuesJson, token) {
        return this.#request("PUT", this.#path(dictionary, "values"), undefined, {
            text: `{"values":${valuesJson}}`,
            headers: { Authorization: `Bearer ${token}` }
        });
    }

    #path(dictionary, endpoint) {
        return `api/dictionaries/${encodeURIComponent(dictionary)}/${endpoint}`;
    }

    async #request(method, path, body, raw) {
        const options = { method, signal: AbortSignal.timeout(this.timeoutMs), headers: { ...this.headers } };
        if (body !== undefined || raw !== undefined) {
            options.body = raw?.text ?? JSON.stringify(body);
            options.headers = { ...options.headers, "Content-Type": "application/json", ...raw?.headers };
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
