#!/usr/bin/env bash
# The plug-in's main job end to end: the stand-in host loads Kestrel.dll and
# runs the tag update command on a document deep inside a sample source tree
# that already holds an old tags file. The folder browser opens on the folder
# that holds it and is confirmed as a person would; the real ctags for Windows
# (beside the host, found through the default ExecPath) rebuilds the tags.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
arch=${KESTREL_DEMO_ARCH:-i686}
bin="$top/build/$arch/bin"
demo="$top/build/demo"

rm -rf "$demo"
mkdir -p "$demo/sample/src/app" "$demo/sample/src/lib/text"
cat > "$demo/sample/src/lib/text/strings.c" <<'C'
#include "strings.h"

struct counted_text {
    int count;
    int length;
};

int text_length(const struct counted_text *text) { return text->length; }

static int shared_count(const struct counted_text *text) { return text->count; }
C
cat > "$demo/sample/src/lib/text/strings.h" <<'C'
#define TEXT_LIMIT 2048
struct counted_text;
int text_length(const struct counted_text *text);
C
cat > "$demo/sample/src/app/main.c" <<'C'
#include "../lib/text/strings.h"

enum mode { MODE_SYNC, MODE_BACKGROUND };

int main(void) { return 0; }
C
printf '!_TAG_FILE_FORMAT\t2\t/extended format/\nold_symbol\told.c\t/^old$/;"\tf\n' > "$demo/sample/tags"
touch -d '2020-01-01 00:00:00' "$demo/sample/tags"

# The sample tree is drive K: of the run. Wine's folder browser selects a
# folder only when no folder on its path has changed since it was last
# listed: list them once.
export KESTREL_K_DRIVE=$demo
find "$demo" -type d -exec ls -a {} + > /dev/null
document='K:\sample\src\app\main.c'
echo "== The tags file before: $(date -r "$demo/sample/tags" '+%F %T'), $(grep -vc '^!' "$demo/sample/tags") tag(s)"
echo "== Running the command on $document"
echo "   (the folder browser opens on the folder holding the tags file and is confirmed with OK)"
# The transcript is the host's: what Wine itself says about the machine
# (such as a volume without a label) is kept out of it; anything else on the
# error stream still shows, after it.
wine_said=$(mktemp)
status=0
"$top/cmake/wine-run.sh" "$bin/KestrelHost.exe" --document "$document" --run --browse ok \
  --trace-beep 2>"$wine_said" || status=$?
grep -v -E '^(wine: |[0-9a-f]{4}:(err|fixme|warn|trace):)' "$wine_said" >&2 || true
rm -f "$wine_said"
[ "$status" -eq 0 ] || { echo "== The host failed (exit code $status)"; exit "$status"; }

echo "== The tags file after: $(date -r "$demo/sample/tags" '+%F %T'), $(grep -vc '^!' "$demo/sample/tags") tag(s)"
grep -v '^!' "$demo/sample/tags" | cut -f1,2,4 | head -12
grep -q 'text_length' "$demo/sample/tags" && ! grep -q 'old_symbol' "$demo/sample/tags" &&
  echo "== OK: ctags rebuilt the tags file in $demo/sample"
