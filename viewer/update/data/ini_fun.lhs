-- Reading INI files: sections in brackets, key=value lines, ';' comments;
-- names are matched without regard to case.

function ini_get(path, section, key, default)
  local text = read_text(path)
  if not text then return default end
  local current = nil
  for line in string.gmatch(text, "[^\r\n]+") do
    line = trim(line)
    local name = string.match(line, "^%[(.-)%]$")
    if name then
      current = string.lower(trim(name))
    elseif current == string.lower(section) and string.sub(line, 1, 1) ~= ";" then
      local k, v = string.match(line, "^([^=]*)=(.*)$")
      if k and string.lower(trim(k)) == string.lower(key) then return trim(v) end
    end
  end
  return default
end
