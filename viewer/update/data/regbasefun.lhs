-- The update settings of this installation (version.cfg).

function update_settings()
  local path = program_file(UPDATE_SETTINGS_FILE)
  return {
    version = ini_get(path, UPDATE_SECTION, "version", "0"),
    check_url = ini_get(path, UPDATE_SECTION, "check_url", ""),
    download_page = ini_get(path, UPDATE_SECTION, "download_page", ""),
  }
end
