#!/usr/bin/env bash
# ostrel-publish with a page template of this test's own (no Emscripten
# needed): the options, the story's bytes, the title and the language in
# the page, and a story with errors refused unless --force.
#
#   publish.sh OSTREL_PUBLISH SOURCE_DIR
set -u
publish=$(realpath "$1")
src=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
passed=0
expect() {  # expect WHAT CONDITION...
  local what=$1
  shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $what"; failed=$((failed + 1)); fi
}
has() { grep -qF -- "$2" "$1"; }

cd "$work"
printf '<html lang="@OSTREL_LANG@"><title>@OSTREL_TITLE@</title>\n<script type="application/json">@OSTREL_STORY@</script>\n' > page.html
cp page.html ostrel-page.html
run() { "$publish" "$@" > out 2> err; echo $? > status; }
status_is() { [ "$(cat status)" = "$1" ]; }

run --help
expect "--help: usage on standard output, status 0" status_is 0
expect "--help: usage on standard output" has out "usage: ostrel-publish"
run --version
expect "--version: status 0" status_is 0
expect "--version: the version" has out "ostrel-publish "
run --bogus "$src/docs/examples/first-story"
expect "an unknown option: status 2" status_is 2
expect "an unknown option: usage on standard error" has err "usage: ostrel-publish"
run
expect "no directory: status 2" status_is 2
run --template page.html "$work/no-such-story"
expect "a missing story: status 2" status_is 2
expect "a missing story: said" has err "ostrel-publish: "

# A clean story: its files as base64, the title escaped.
story=$src/docs/examples/first-story
run --template page.html -o first.html --title 'Tom & "Jerry" <3' "$story"
expect "a clean story: status 0" status_is 0
expect "a clean story: the title escaped" has first.html '<title>Tom &amp; &quot;Jerry&quot; &lt;3</title>'
expect "a clean story: the script inlined" has first.html "\"script.ostrel\": \"$(base64 -w0 "$story/script.ostrel")\""
expect "a clean story: the credits inlined" has first.html "\"credits.ostrel\": \"$(base64 -w0 "$story/credits.ostrel")\""
expect "a clean story: no file that is not there" bash -c "! grep -q animations.ostrel first.html"
expect "a clean story: English by default" has first.html '<html lang="en">'

# The language: a tag as BCP 47 shapes them, and nothing else.
for tag in fr pt-BR zh-Hant-TW sr-Latn-RS x-klingon de-CH-1996; do
  run --template page.html -o lang.html --lang "$tag" "$story"
  expect "--lang $tag: status 0" status_is 0
  expect "--lang $tag: in the page" has lang.html "<html lang=\"$tag\">"
done
rm -f lang.html
for tag in '' 'en US' 'en"><script>alert(1)</script>' 'en-' '-en' 'en--GB' 'e_n' '1en' \
    'abcdefghi' 'en-abcdefghi' $'en\nx' 'fr-é'; do
  run --template page.html -o lang.html --lang "$tag" "$story"
  expect "--lang '$tag': refused with the usage, status 2" status_is 2
  expect "--lang '$tag': the usage" has err "usage: ostrel-publish"
  expect "--lang '$tag': no page" test ! -e lang.html
done
# A title or a story that holds a marker keeps it as it is.
run --template page.html -o marker.html --title '@OSTREL_LANG@' --lang fr "$story"
expect "a title that holds a marker: kept" has marker.html '<html lang="fr"><title>@OSTREL_LANG@</title>'

# Every byte value, and the lengths that end base64 with padding.
for n in 254 255 256; do
  mkdir -p "bytes$n"
  printf '|start_location:\nA\n|location=A\n/end_game\n/end\n' > "bytes$n/script.ostrel"
  head -c "$n" < <(for i in $(seq 0 255); do printf "\\x$(printf %02x "$i")"; done) > "bytes$n/credits.ostrel"
  run --template page.html -o "bytes$n.html" "bytes$n"
  expect "$n bytes: their base64" has "bytes$n.html" "\"credits.ostrel\": \"$(base64 -w0 "bytes$n/credits.ostrel")\""
done

# The defaults: the template beside the program, the directory's name.
mkdir -p bin
cp "$publish" bin/ostrel-publish
cp page.html bin/ostrel-page.html
(cd bytes255 && ../bin/ostrel-publish . > ../out 2> ../err)
expect "defaults: the page named after the directory" test -f bytes255/bytes255.html
expect "defaults: the directory's name as the title" has bytes255/bytes255.html "<title>bytes255</title>"

# The name the story is published under, by which the page keeps its save:
# its directory's, as a JSON string that cannot end the page's <script>.
named=$'a "b" \\ <!-- c\td'
mkdir "$named"
cp "$story/script.ostrel" "$named/"
run --template page.html -o named.html --title Other "$named"
expect "the directory's name in the story" has named.html '{"name": "a \"b\" \\ \u003c!-- c\u0009d", "files": {'
run --template page.html -o first.html "$story"
expect "the name of a plain directory" has first.html '{"name": "first-story", "files": {'

# A story with errors: refused with its diagnostics, or published by force.
mkdir broken
printf '|start_location:\nNowhere\n' > broken/script.ostrel
run --template page.html -o broken.html broken
expect "errors: status 1" status_is 1
expect "errors: the diagnostics" has err "error:"
expect "errors: no page" test ! -e broken.html
run --template page.html -o broken.html --force broken
expect "--force: status 0" status_is 0
expect "--force: the page" test -s broken.html

# A template that is not one, or none at all.
echo '<html></html>' > plain.html
run --template plain.html -o x.html "$story"
expect "not a template: status 2" status_is 2
# One of an older version, without the language's place.
printf '<title>@OSTREL_TITLE@</title>@OSTREL_STORY@\n' > old.html
run --template old.html -o x.html "$story"
expect "an older template: status 2" status_is 2
expect "an older template: make web named" has err "make web"
expect "an older template: no page" test ! -e x.html
run --template missing.html -o x.html "$story"
expect "no template: status 2" status_is 2
expect "no template: make web named" has err "make web"

# Where the page cannot or must not go: said, with the reason, and nothing
# of the story lost.
cp -r "$story" own
run --template page.html -o own/script.ostrel own
expect "-o a story file: status 2" status_is 2
expect "-o a story file: said" has err "over the story's script.ostrel"
expect "-o a story file: the story intact" cmp -s own/script.ostrel "$story/script.ostrel"
run --template page.html -o "$work/no-such-dir/x.html" "$story"
expect "-o in no directory: status 2" status_is 2
expect "-o in no directory: the reason" has err "No such file or directory"
run --template page.html -o own "$story"
expect "-o a directory: status 2" status_is 2
run --template page.html -o '' "$story"
expect "an empty -o: status 2" status_is 2
expect "an empty -o: no page" test ! -e first-story.html

echo "$passed passed, $failed failed"
exit $((failed > 0))
