-- Telling the user about a newer version: the download page opens in the
-- user's browser when xdg-open is there, and the message goes to the
-- standard error either way.

function tell_user(version, page)
  local text = "KVP " .. version .. " is available"
  if page ~= "" then text = text .. " at " .. page end
  io.stderr:write(text .. "\n")
  if page ~= "" and os.execute("command -v xdg-open >/dev/null 2>&1") == 0 then
    os.execute("xdg-open '" .. string.gsub(page, "'", "'\\''") .. "' >/dev/null 2>&1 &")
  end
end
