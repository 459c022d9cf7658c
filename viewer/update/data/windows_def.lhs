-- Names and limits shared by the update scripts.
UPDATE_SETTINGS_FILE = "version.cfg"
UPDATE_SECTION = "update"
-- Seconds a request for the newest version may take.
FETCH_TIMEOUT_S = 10
-- The longest version text accepted from a server.
VERSION_MAX_CHARS = 32
