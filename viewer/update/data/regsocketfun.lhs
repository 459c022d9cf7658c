-- Fetching the newest version's number: a file:// URL is read directly, an
-- http(s):// URL with curl when it is installed. Nil when nothing comes.

local function shell_quote(s)
  return "'" .. string.gsub(s, "'", "'\\''") .. "'"
end

function fetch_text(url)
  if url == nil or url == "" then return nil end
  local path = string.match(url, "^file://(.*)$")
  if path then return read_text(path) end
  if not string.match(url, "^https?://") then return nil end
  local pipe = io.popen("curl -fsSL --max-time " .. FETCH_TIMEOUT_S .. " " ..
                        shell_quote(url) .. " 2>/dev/null")
  if not pipe then return nil end
  local text = pipe:read("*a")
  pipe:close()
  if text == "" then return nil end
  return text
end

-- The newest version's number, or nil.
function newest_version(settings)
  local text = fetch_text(settings.check_url)
  if not text then return nil end
  local first = trim(string.match(text, "^[^\r\n]*") or "")
  if first == "" or #first > VERSION_MAX_CHARS or not string.match(first, "^[%w%.%-]+$") then
    return nil
  end
  return first
end
