-- Text and file helpers of the update scripts.

function trim(s)
  return (string.gsub(s, "^%s*(.-)%s*$", "%1"))
end

-- The path of a file in the program folder.
function program_file(name)
  local dir = PROGRAM_DIR or "."
  return dir .. "/" .. name
end

function read_text(path)
  local f = io.open(path, "rb")
  if not f then return nil end
  local text = f:read("*a")
  f:close()
  return text
end

-- The numbers of a version text: "1.10.2" gives {1, 10, 2}.
function version_numbers(v)
  local numbers = {}
  for n in string.gmatch(v, "%d+") do numbers[#numbers + 1] = tonumber(n) end
  return numbers
end

-- True when version a is newer than version b.
function version_newer(a, b)
  local x, y = version_numbers(a), version_numbers(b)
  for i = 1, math.max(#x, #y) do
    local p, q = x[i] or 0, y[i] or 0
    if p ~= q then return p > q end
  end
  return false
end
