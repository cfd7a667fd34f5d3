#!/usr/bin/env bash
# No text of a walkthrough's transcript is wiped before the player could
# read it: between the last key, word or number read and a clear screen,
# nothing but pauses was written. (An animation's frames are cleared after
# a pause; they follow a move read, and the last frame stays.)
#
#   story_text_stays.sh TRACE...
set -u
failed=0
for trace in "$@"; do
  perl -0777 -ne '
    s/\[\[sleep \d+\]\]//g;
    s/\[\[(?:key|word [^\]]*|number [^\]]*)\]\]/\x01/g;
    my $bad = 0;
    for my $since_input (split /\x01/) {
      my @screens = split /\[\[clear\]\]/, $since_input, -1;
      pop @screens;  # the last screen stays until the next read
      for my $wiped (@screens) {
        next unless $wiped =~ /\S/;
        print "$ARGV: wiped before it could be read:\n$wiped\n";
        $bad = 1;
      }
    }
    exit $bad;' "$trace" || failed=1
done
[ $failed -eq 0 ] && echo "$# transcripts passed, 0 failed"
exit $failed
