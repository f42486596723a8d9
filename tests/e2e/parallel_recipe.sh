#!/usr/bin/env bash
# Runs the README's GNU parallel recipes (three parts of a folder, three parts of a NUL-separated
# list) over generated mails and an mbox, and checks that the three output roots together hold
# exactly the files of one whole run (same_files.py). Skipped (77) without GNU parallel.
# Usage: parallel_recipe.sh DORNICK README
set -euo pipefail
dornick=$(realpath "$1") readme=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v parallel >/dev/null 2>&1; then
  echo "GNU parallel is not installed (Debian package parallel): skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# parallel keeps its notes under $HOME; the dornick of this build comes first.
export HOME=$work PATH="$(dirname "$dornick"):$PATH" LC_ALL=C.UTF-8 TZ=Asia/Tokyo

# Mails of three senders, most with an attachment named like many others of the same folder, some
# with the same bytes; one sub-folder; an mbox of a further twenty messages.
python3 - <<'PY'
import base64, os, random
random.seed(24)
os.makedirs("mails/sub")
def mail(i):
    name = "report.pdf" if i % 4 == 0 else "image001.png"
    data = b"same bytes" if i % 5 == 0 else random.randbytes(300 + 37 * i)
    body = base64.encodebytes(data).decode().replace("\n", "\r\n")
    return (f"From: user{i % 3}@example.jp\r\nDate: Tue, {3 + i % 2} Jan 2017 10:05:00 +0900\r\n"
            f"MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b1\r\n\r\n"
            f"--b1\r\nContent-Type: text/plain\r\n\r\nHello {i}.\r\n"
            f"--b1\r\nContent-Type: application/octet-stream; name=\"{name}\"\r\n"
            f"Content-Disposition: attachment; filename=\"{name}\"\r\n"
            f"Content-Transfer-Encoding: base64\r\n\r\n{body}--b1--\r\n")
for i in range(30):
    with open(f"mails/{'sub/' if i % 2 else ''}m{i:02}.eml", "w", newline="") as f:
        f.write(mail(i))
with open("mails/archive.mbox", "w", newline="") as f:
    for i in range(30, 50):
        f.write(f"From user{i % 3}@example.jp Tue Jan  3 10:05:00 2017\n" + mail(i) + "\n")
PY

dornick -o whole mails >/dev/null
status=0
# The recipes exactly as the README gives them.
grep -E '^(find mails .* && )?parallel dornick .*--shard \{\}/3 -o out/part\{\}.* ::: 1 2 3$' "$readme" >recipes
[ "$(wc -l <recipes)" -eq 2 ] || { echo "the README's two local parallel recipes were not found"; exit 1; }
while IFS= read -r recipe; do
  echo "== $recipe"
  rm -rf out
  bash -c "$recipe" >/dev/null 2>errors
  if grep -q '^dornick' errors; then cat errors; status=1; fi # a warning means a recipe is wrong
  python3 "$here/same_files.py" whole out/part1 out/part2 out/part3 || status=1
  # Every part did a share of the work, not the whole.
  for k in 1 2 3; do
    [ -n "$(find out/part$k -type f)" ] || { echo "part $k wrote nothing"; status=1; }
  done
done <recipes
exit $status
