#!/usr/bin/env bash
# Builds talvane-chat and runs it; with no arguments it chats with its embedded reference server.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/deps.sh"
"$here/scripts/build.sh" "$here/build" -- talvane-chat >/dev/null
exec "$here/build/bin/talvane-chat" "$@"
