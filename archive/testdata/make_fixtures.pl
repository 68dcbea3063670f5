#!/usr/bin/perl
# Builds the extraction fixtures: a small source tree of mixed content and one archive of it per
# packer setting, made with the installed 7zz. Usage: make_fixtures.pl OUTDIR [SCALE]
# OUTDIR/tree is the source, OUTDIR/archives/*.7z the archives, OUTDIR/manifest.txt lists each
# archive with the outcome the reader must produce ("ok", "unsupported") and its password.
# SCALE (default 1) sizes the generated files: the fuzz seeds use the same settings on a tree of
# a few kilobytes.
use strict;
use warnings;
use File::Path qw(make_path remove_tree);

my $out = shift or die "usage: $0 OUTDIR [SCALE]\n";
my $scale = shift // 1;
die "SCALE must be a positive number\n" unless $scale =~ /^\d*\.?\d+$/ && $scale > 0;
sub scaled { my $n = int($_[0] * $scale); return $n < 1 ? 1 : $n; }
my $tree = "$out/tree";
my $arch = "$out/archives";
remove_tree($out);
make_path($tree, $arch);
srand(20261209);

sub put {
  my ($name, $data) = @_;
  my $path = "$tree/$name";
  (my $dir = $path) =~ s{/[^/]*$}{};
  make_path($dir);
  open(my $fh, '>:raw', $path) or die "$path: $!";
  print $fh $data;
  close $fh;
}

# Text: repetitive words, compressible.
my @words = qw(setup engine archive folder dialog variable install component cache media
               registry shortcut service progress wizard cancel retry extract decode window);
my $text = '';
for my $line (1 .. scaled(1200)) {
  $text .= join(' ', map { $words[int(rand(@words))] } 1 .. 1 + int(rand(12))) . "\r\n";
}
put('docs/readme.txt', $text);
put('docs/notes/changes.txt', substr($text, 0, scaled(5000)));

# Random data: incompressible.
put('data/random.bin', join('', map { chr(int(rand(256))) } 1 .. scaled(40000)));

# x86-64 code: instruction-like bytes with CALL/JMP rel32 and Jcc rel32 opcodes.
my $x86 = '';
while (length($x86) < scaled(50000)) {
  my $r = rand();
  if ($r < 0.15) { $x86 .= "\xE8" . pack('V', (int(rand(40000)) - 20000) & 0xFFFFFFFF); }
  elsif ($r < 0.2) { $x86 .= "\xE9" . pack('V', (int(rand(4000)) - 2000) & 0xFFFFFFFF); }
  elsif ($r < 0.25) { $x86 .= "\x0F" . chr(0x80 + int(rand(16))) . pack('V', int(rand(3000))); }
  else { $x86 .= join('', map { chr(int(rand(256)) & 0x4F) } 1 .. 1 + int(rand(6))); }
}
put('bin/tool x64.exe', "MZ" . $x86);

# ARM64 code: BL and ADRP words among other instructions.
my $arm = '';
for my $i (0 .. scaled(12000)) {
  my $r = rand();
  my $w;
  if ($r < 0.2) { $w = 0x94000000 | int(rand(0x4000)); }
  elsif ($r < 0.3) { $w = 0x90000000 | (int(rand(4)) << 29) | (int(rand(64)) << 5) | int(rand(31)); }
  else { $w = int(rand(0x10000)) | (0xAA << 24); }
  $arm .= pack('V', $w);
}
put('bin/arm64/tool-arm64.dll', $arm);

# A WAV file: 16-bit stereo PCM, a slowly changing tone.
my $frames = scaled(12000);
my $pcm = '';
for my $n (0 .. $frames - 1) {
  my $v = int(12000 * sin($n / 9.0) + 3000 * sin($n / 3.3));
  $pcm .= pack('v2', $v & 0xFFFF, (-$v) & 0xFFFF);
}
put('media/tone.wav', 'RIFF' . pack('V', 36 + length($pcm)) . 'WAVEfmt ' .
    pack('VvvVVvv', 16, 1, 2, 44100, 44100 * 4, 4, 16) . 'data' . pack('V', length($pcm)) . $pcm);

# Names with blanks and Windows-1252 letters (stored as UTF-8 here), empty files and folders.
put("docs/Gr\xC3\xBC\xC3\x9Fe d\xC3\xA9j\xC3\xA0 vu.txt", "caf\xC3\xA9 na\xC3\xAFve\r\n" x scaled(50));
put("empty file.txt", '');
put('data/zero.dat', '');
make_path("$tree/empty folder", "$tree/deep/er/still empty");

# Archives. Each line: name, outcome, password, switches.
my @variants = (
  map({ ["mx$_", 'ok', '', "-mx$_"] } 0 .. 9),
  ['lzma', 'ok', '', '-m0=LZMA'],
  ['lzma-smalldict', 'ok', '', '-m0=LZMA:d=32k -ms=on'],
  ['lzma2', 'ok', '', '-m0=LZMA2'],
  ['lzma2-blocks', 'ok', '', '-m0=LZMA2:d=32k:c=64k -mmt=2 -ms=on'],
  ['lzma2-nonsolid', 'ok', '', '-m0=LZMA2 -ms=off'],
  ['deflate', 'ok', '', '-m0=Deflate'],
  ['copy', 'ok', '', '-m0=Copy'],
  ['bcj', 'ok', '', '-mf=BCJ'],
  ['bcj2', 'ok', '', '-mf=BCJ2'],
  ['bcj2-nonsolid', 'ok', '', '-mf=BCJ2 -ms=off'],
  ['arm64', 'ok', '', '-mf=ARM64'],
  ['arm64-lzma', 'ok', '', '-mf=ARM64 -m0=LZMA'],
  ['delta4', 'ok', '', '-mf=Delta:4'],
  ['solid', 'ok', '', '-ms=on'],
  ['nonsolid', 'ok', '', '-ms=off'],
  ['password', 'ok', 'Geheim 1234', '-pGeheim 1234'],
  ['password-deflate', 'ok', 'Geheim 1234', '-pGeheim 1234 -m0=Deflate -ms=off'],
  ['password-he', 'ok', 'Geheim 1234', '-pGeheim 1234 -mhe=on'],
  ['password-he-bcj2', 'ok', 'Geheim 1234', '-pGeheim 1234 -mhe=on -mf=BCJ2'],
  ['ppmd', 'unsupported', '', '-m0=PPMd'],
);
open(my $manifest, '>', "$out/manifest.txt") or die;
for my $v (@variants) {
  my ($name, $outcome, $password, $switches) = @$v;
  my @args = ('7zz', 'a', '-t7z', '-bd', '-bso0', '-bsp0', '-mtm=on', '-mtc=off', '-mta=off');
  # Switches are split on blanks except inside a password.
  if ($switches =~ /^-p(\S+ \S+)(.*)$/) {
    push @args, "-p$1", split(' ', $2);
  } else {
    push @args, split(' ', $switches);
  }
  push @args, "$arch/$name.7z", '.';
  my $pid = fork();
  if ($pid == 0) { chdir $tree or die; exec @args or die "7zz: $!"; }
  waitpid($pid, 0);
  die "7zz failed for $name\n" if $? != 0;
  print $manifest "$name.7z\t$outcome\t$password\n";
}
close $manifest;

# Archives whose entries must never be written: a name that climbs out, an absolute name, a
# device name, a drive prefix, and a symbolic link. The file "escape.txt" is renamed inside the
# archive after packing.
my $unsafe = "$out/unsafe";
make_path("$unsafe/docs");
open(my $fh, '>', "$unsafe/docs/a.txt") or die; print $fh "inside\n"; close $fh;
open($fh, '>', "$unsafe/escape.txt") or die; print $fh "outside\n"; close $fh;
symlink('/etc/hostname', "$unsafe/link") or die "symlink: $!";
sub run_in { my ($dir, @cmd) = @_; my $pid = fork();
  if ($pid == 0) { chdir $dir or die; exec @cmd or die; } waitpid($pid, 0); die "@cmd\n" if $?; }
my %renames = ('escape-dotdot' => '../escape.txt', 'escape-absolute' => '/tmp/escape.txt',
               'escape-device' => 'docs/CON.txt', 'escape-drive' => 'C:\\escape.txt',
               'escape-com0' => 'COM0.txt', 'escape-lpt0' => 'docs/lpt0',
               'escape-com-super' => "COM\xC2\xB9.txt", 'escape-lpt-super' => "LPT\xC2\xB3.log");
for my $name (sort keys %renames) {
  run_in($unsafe, '7zz', 'a', '-bso0', '-bsp0', "$arch/$name.7z", 'docs', 'escape.txt');
  run_in($unsafe, '7zz', 'rn', '-bso0', '-bsp0', "$arch/$name.7z", 'escape.txt', $renames{$name});
}
run_in($unsafe, '7zz', 'a', '-bso0', '-bsp0', '-snl', "$arch/link.7z", 'docs', 'link');
# A plain (unpacked) header with LZMA data, for tests that patch header fields.
run_in($tree, '7zz', 'a', '-bso0', '-bsp0', '-mhc=off', '-m0=LZMA', '-ms=off', "$arch/plain-header.7z", 'docs');

# Names that Windows takes for the same file: letter case, trailing dots and blanks; and a file
# whose name is a folder of another entry.
sub put_in { my ($dir, $name, $data) = @_; make_path($dir); open(my $f, '>:raw', "$dir/$name") or die;
  print $f $data; close $f; }
my $same = "$out/same";
put_in("$same/case", $_, "case $_\n") for ('A.txt', 'a.txt');
put_in("$same/dots", $_, "dots $_\n") for ('x', 'x.');
put_in("$same/blanks", $_, "blanks $_\n") for ('y', 'y ');
put_in("$same/folder", 'data', "a file\n");
put_in("$same/folder/Data", 'one.txt', "in a folder\n");
for my $name (qw(case dots blanks folder)) {
  run_in("$same/$name", '7zz', 'a', '-bso0', '-bsp0', "$arch/same-$name.7z", '.');
}

# A long run of zeros: about 6000 to 1 with the default settings.
my $zeros = "$out/zeros";
put_in($zeros, 'zeros.bin', "\0" x (8 << 20));
run_in($zeros, '7zz', 'a', '-bso0', '-bsp0', "$arch/zeros.7z", 'zeros.bin');

# Stored data and a plain header: packed bytes and size fields can be patched in place.
my $stored = "$out/stored";
put_in($stored, 'first.txt', join('', map { "first line $_\r\n" } 1 .. 400));
put_in($stored, 'second.txt', join('', map { "second line $_\r\n" } 1 .. 300));
run_in($stored, '7zz', 'a', '-bso0', '-bsp0', '-mx0', '-mhc=off', "$arch/stored.7z",
       'first.txt', 'second.txt');
run_in($stored, '7zz', 'a', '-bso0', '-bsp0', '-mx0', '-mhc=off', "$arch/stored-one.7z",
       'first.txt');

# Entries for destinations with links planted in them (see plant_links.pl).
my $planted = "$out/planted-src";
put_in("$planted/sub", 'evil.txt', "through a folder link\n");
put_in($planted, 'x.txt', "through a file link\n");
put_in("$planted/a/b", 'c.txt', "through a deeper link\n");
run_in($planted, '7zz', 'a', '-bso0', '-bsp0', "$arch/planted.7z", 'sub', 'x.txt', 'a');

# Names that the 8-bit code page cannot spell (stored as UTF-8 here): two files and a folder
# whose listed names all come out with '?' in place of their letters.
my $wide = "$out/wide";
my $nihon = "\xE6\x97\xA5\xE6\x9C\xAC";
my $china = "\xE4\xB8\xAD\xE5\x9B\xBD";
make_path("$wide/$nihon");
for my $f (['readme.txt', "plain\r\n"], ["$nihon.txt", "nihon\r\n"], ["$china.txt", "zhongguo\r\n"],
           ["$nihon/a.txt", "inside\r\n"]) {
  open(my $w, '>:raw', "$wide/$f->[0]") or die "$f->[0]: $!"; print $w $f->[1]; close $w;
}
run_in($wide, '7zz', 'a', '-bso0', '-bsp0', "$arch/wide-names.7z", 'readme.txt', "$nihon.txt",
       "$china.txt", $nihon);
