-- The values of 100 names per request, posted as JSON; with VARBANK_LOCATED set, 100
-- neighbouring located words (which a PLC over Modbus answers in one or two requests); with
-- VARBANK_LEAVES set, 100 elementary variables (one value each, no structures or arrays).
local count = tonumber(os.getenv("VARBANK_VARIABLES") or "100000")
local located = os.getenv("VARBANK_LOCATED") ~= nil
local leaves = os.getenv("VARBANK_LEAVES") ~= nil
-- A random variable of the generated program; an elementary one if leaves are asked for (every
-- sixth is a located word, the others cycle INT, REAL, BOOL, Motor, ARRAY).
local function pick()
    local index = math.random(0, count - 1)
    while leaves and index % 6 ~= 5 and index % 5 > 2 do
        index = math.random(0, count - 1)
    end
    return index
end
math.randomseed(42)
local bodies = {}
for b = 1, 64 do
    local names = {}
    local first = math.random(0, 899)
    for i = 1, 100 do
        local index = located and 6 * (first + i - 1) + 5 or pick()
        names[i] = string.format('"V%05d"', index)
    end
    bodies[b] = '{"items":[' .. table.concat(names, ",") .. ']}'
end
local next = 0
request = function()
    next = next % #bodies + 1
    return wrk.format("POST", "/api/dictionaries/plant/values",
                      {["Content-Type"] = "application/json"}, bodies[next])
end
