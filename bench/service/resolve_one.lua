-- One name per request, a different variable each time.
local count = tonumber(os.getenv("VARBANK_VARIABLES") or "100000")
math.randomseed(42)
request = function()
    local name = string.format("V%05d", math.random(0, count - 1))
    return wrk.format("GET", "/api/dictionaries/plant/resolve?item=" .. name)
end
