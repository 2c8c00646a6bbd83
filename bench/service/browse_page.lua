-- A page of 100 children of the root, starting at a different variable each time (the
-- continuation point is a name, so any page can be asked for directly).
local count = tonumber(os.getenv("VARBANK_VARIABLES") or "100000")
math.randomseed(42)
request = function()
    local start = string.format("V%05d", math.random(0, count - 101))
    return wrk.format("GET", "/api/dictionaries/plant/browse?pageSize=100&continuation=" .. start)
end
