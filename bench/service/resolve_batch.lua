-- A batch of 100 names per request, posted as JSON.
local count = tonumber(os.getenv("VARBANK_VARIABLES") or "100000")
math.randomseed(42)
local bodies = {}
for b = 1, 64 do
    local names = {}
    for i = 1, 100 do
        names[i] = string.format('"V%05d"', math.random(0, count - 1))
    end
    bodies[b] = '{"items":[' .. table.concat(names, ",") .. ']}'
end
local next = 0
request = function()
    next = next % #bodies + 1
    return wrk.format("POST", "/api/dictionaries/plant/resolve",
                      {["Content-Type"] = "application/json"}, bodies[next])
end
