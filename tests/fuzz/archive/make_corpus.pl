#!/usr/bin/perl
# Writes the archive fuzz target's seeds, one file per input with the target's mode byte first:
#   NAME.archive  0 + a whole archive: every archive of the extraction fixtures (the same 7zz
#                 settings, on a tree of a few kilobytes, so that each run stays short)
#   NAME.header   1 + the plain header of each archive that has one
#   NAME.lzma     2 + the 5 LZMA property bytes + a raw LZMA stream
#   NAME.lzma2    3 + the LZMA2 property byte + a raw LZMA2 stream
#   NAME.extract  4 + a whole archive, extracted into a scratch folder (and 5: the same with the
#                 entries' folders dropped)
# Usage: make_corpus.pl FIXTURE_SCRIPT WORKDIR CORPUSDIR
# WORKDIR is emptied and refilled; files already in CORPUSDIR (checked-in seeds, inputs the
# fuzzer kept) stay, those of the same name are replaced.
use strict;
use warnings;
use File::Path qw(make_path);

my ($fixtures, $work, $corpus) = @ARGV;
die "usage: $0 FIXTURE_SCRIPT WORKDIR CORPUSDIR\n" unless defined $corpus;
make_path($corpus);

sub run { system(@_) == 0 or die "@_ failed\n"; }

run('perl', $fixtures, $work, '0.02');
my $tree = "$work/tree";
my $arch = "$work/archives";

# Archives with a plain header, so that the header and the packed streams can be cut out.
# Each line: name, switches, what to pack (relative to the tree).
my @plain = (
  ['plain-lzma', '-m0=LZMA -mf=off -ms=on', 'docs/readme.txt'],
  ['plain-lzma2', '-m0=LZMA2 -mf=off -ms=on', 'docs/readme.txt'],
  ['plain-lzma-x86', '-m0=LZMA:lc=0:lp=2:pb=2 -mf=off', 'bin/tool x64.exe'],
  ['plain-lzma2-random', '-m0=LZMA2 -mf=off', 'data/random.bin'],
  ['plain-default', '', '.'],
  ['plain-bcj2', '-mf=BCJ2', '.'],
  ['plain-nonsolid', '-ms=off', '.'],
  ['plain-password', '-pGeheim', '.'],
);
for my $p (@plain) {
  my ($name, $switches, $what) = @$p;
  my $pid = fork();
  if ($pid == 0) {
    chdir $tree or die "$tree: $!";
    exec('7zz', 'a', '-t7z', '-bd', '-bso0', '-bsp0', '-mhc=off', '-mtc=off', '-mta=off',
         split(' ', $switches), "$arch/$name.7z", $what) or die "7zz: $!";
  }
  waitpid($pid, 0);
  die "7zz failed for $name\n" if $? != 0;
}

sub slurp {
  open(my $fh, '<:raw', $_[0]) or die "$_[0]: $!";
  local $/;
  my $data = <$fh>;
  return $data;
}
sub seed {
  my ($name, $mode, $data) = @_;
  open(my $fh, '>:raw', "$corpus/$name") or die "$corpus/$name: $!";
  print $fh chr($mode), $data;
  close $fh;
}

my ($archives, $headers, $streams) = (0, 0, 0);
opendir(my $dh, $arch) or die "$arch: $!";
for my $file (sort grep { /\.7z$/ } readdir $dh) {
  (my $name = $file) =~ s/\.7z$//;
  my $bytes = slurp("$arch/$file");
  seed("$name.archive", 0, $bytes);
  seed("$name.extract", 4, $bytes);
  seed("$name.flat-extract", 5, $bytes);
  ++$archives;
  next if length($bytes) < 32 || substr($bytes, 0, 6) ne "7z\xBC\xAF\x27\x1C";
  my ($offset_lo, $offset_hi, $size_lo, $size_hi) = unpack('V4', substr($bytes, 12, 16));
  next if $offset_hi || $size_hi || 32 + $offset_lo + $size_lo > length($bytes);
  my $header = substr($bytes, 32 + $offset_lo, $size_lo);
  next unless substr($header, 0, 1) eq "\x01";  # kHeader: not packed
  seed("$name.header", 1, $header);
  ++$headers;
  # One folder of one coder: its packed stream is everything before the header.
  my $packed = substr($bytes, 32, $offset_lo);
  if ($header =~ /\x0B\x01\x00\x01\x23\x03\x01\x01\x05(.{5})/s) {
    seed("$name.lzma", 2, $1 . $packed);
    ++$streams;
  } elsif ($header =~ /\x0B\x01\x00\x01\x21\x21\x01(.)/s) {
    seed("$name.lzma2", 3, $1 . $packed);
    ++$streams;
  }
}
closedir $dh;
die "no raw streams found in the plain headers\n" unless $streams >= 4;
print "archive seeds: $archives archives, $headers headers, $streams streams\n";
