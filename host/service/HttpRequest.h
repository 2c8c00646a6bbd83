#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

// A request as the endpoints see it: the method, the decoded path and its segments, the query
// parameters and the body.
struct HttpRequest {
    std::string method;
    std::string target; // as sent, for the log
    std::string path;   // percent-decoded
    // The path split at its slashes as sent, then each piece decoded: an encoded slash (%2F)
    // stays inside its segment. "/" is one empty segment.
    std::vector<std::string> segments;
    std::multimap<std::string, std::string> params;
    std::string body;
    std::string authorization; // the Authorization header, or empty

    // The first value of a parameter, or empty.
    std::string Param(const std::string& key) const;
    bool HasParam(const std::string& key) const { return params.count(key) > 0; }
    // Every value of a parameter, in the order sent.
    std::vector<std::string> Params(const std::string& key) const;

    // Splits "/path?a=1&b=2" into the decoded path, its segments and the parameters ("+" is a
    // space in the query). False when the target is not a path or its percent-encoding is
    // malformed.
    bool SetTarget(std::string_view text);

private:
    static bool Decode(std::string_view text, bool plusIsSpace, std::string& decoded);
    // Fills segments from the path after its leading slash.
    bool SplitSegments(std::string_view rawPath);
};
