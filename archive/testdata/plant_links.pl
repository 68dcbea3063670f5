#!/usr/bin/perl
# Plants symbolic links in extraction destinations, fresh before each test run (a test run under
# Wine cannot make them itself). Usage: plant_links.pl OUTDIR
# Each case OUTDIR/<case> holds out/ (the destination, with the link) and outside/ (where the
# link leads):
#   folder: out/sub -> outside               (an entry sub/evil.txt)
#   deeper: out/a/b -> outside               (an entry a/b/c.txt)
#   file:   out/x.txt -> outside/locked.txt  (an entry x.txt; locked.txt is read-only)
use strict;
use warnings;
use File::Path qw(make_path remove_tree);

my $out = shift or die "usage: $0 OUTDIR\n";
remove_tree($out);
for my $case (qw(folder deeper file)) {
  make_path("$out/$case/out", "$out/$case/outside");
}
symlink("$out/folder/outside", "$out/folder/out/sub") or die "symlink: $!";
make_path("$out/deeper/out/a");
symlink("$out/deeper/outside", "$out/deeper/out/a/b") or die "symlink: $!";
open(my $fh, '>', "$out/file/outside/locked.txt") or die;
print $fh "keep me\n";
close $fh;
chmod 0444, "$out/file/outside/locked.txt";
symlink("$out/file/outside/locked.txt", "$out/file/out/x.txt") or die "symlink: $!";
