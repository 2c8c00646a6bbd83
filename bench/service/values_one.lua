-- The value of one name per request; with VARBANK_LOCATED set, only located words (every
-- sixth variable of the generated program, those a PLC over Modbus holds).
local count = tonumber(os.getenv("VARBANK_VARIABLES") or "100000")
local located = os.getenv("VARBANK_LOCATED") ~= nil
math.randomseed(42)
local function pick()
    if located then
        return string.format("V%05d", 6 * math.random(0, 999) + 5)
    end
    return string.format("V%05d", math.random(0, count - 1))
end
request = function()
    return wrk.format("GET", "/api/dictionaries/plant/values?item=" .. pick())
end
