#!/usr/bin/perl
# command-sections.pl OUTPUT PROGRAM COMMAND...: writes a help2man include file with one section
# per command, made from "PROGRAM COMMAND --help", so the manual shows each command's options
# exactly as the program prints them and cannot drift from them.
#
# The help is read as the commands print it: a "Usage:" line, paragraphs, and option entries
# ("  -o FILE   what it does") whose description may go on over more deeply indented lines.
use strict;
use warnings;

my ($output, $program, @commands) = @ARGV;
die "usage: $0 OUTPUT PROGRAM COMMAND...\n" unless defined $program && @commands;

# Text as roff reads it literally: backslashes and hyphens escaped, and no line that could be
# taken for a request.
sub roff {
  my ($text) = @_;
  $text =~ s/\\/\\e/g;
  $text =~ s/-/\\-/g;
  $text =~ s/^([.'])/\\&$1/;
  return $text;
}

# An entry's tag with its option names in bold: "-j, --jobs N", "--trim-silence[=DBFS]".
sub tag {
  my ($text) = @_;
  my $out = '';
  for my $part (split /((?<![\w-])--?[A-Za-z][-A-Za-z0-9]*)/, $text) {
    $out .= $part =~ /^-/ ? '\fB' . roff($part) . '\fR' : roff($part);
  }
  return $out;
}

sub section {
  my ($command, @lines) = @_;
  chomp @lines;
  s/\s+$// for @lines;

  # The column descriptions start at, from the lines that go on with one: an entry whose tag
  # fills the gap ("--trim-silence[=DBFS] first drop ...") is split there.
  my %columns;
  $columns{length $_}++ for map { /^(\s{3,})[^-\s]/ ? $1 : () } @lines;
  my ($column) = sort { $columns{$b} <=> $columns{$a} || $a <=> $b } keys %columns;

  my $text = "[\U$command\E]\n";
  my $entryIndent;  # indentation of the option entry being written, if any
  for my $line (@lines) {
    if ($line =~ /^Usage:\s+(\S+\s+\S+)\s*(.*)$/) {
      $text .= '\fB' . roff($1) . '\fR ' . roff($2) . "\n.PP\n";
    } elsif ($line eq '') {
      undef $entryIndent;
      $text .= ".PP\n";
    } elsif (defined $entryIndent && $line =~ /^(\s+)(.*)$/ && length $1 > $entryIndent) {
      $text .= roff($2) . "\n";
    } elsif ($line =~ /^(\s+)(-\S.*)$/) {
      my ($indent, $entry) = (length $1, $2);
      my ($name, $description) = split /\s{2,}/, $entry, 2;
      if (!defined $description && defined $column && $column > $indent &&
          substr($line, $column - 1, 1) eq ' ') {
        ($name, $description) = (substr($line, $indent, $column - $indent), substr($line, $column));
        $name =~ s/\s+$//;
      }
      $text .= ".TP\n" . tag($name) . "\n";
      $text .= roff($description) . "\n" if defined $description;
      $entryIndent = $indent;
    } else {
      $text .= ".PP\n" if defined $entryIndent;
      undef $entryIndent;
      $text .= roff($line =~ s/^\s+//r) . "\n";
    }
  }
  return $text;
}

my $text = '';
for my $command (@commands) {
  open(my $help, '-|', $program, $command, '--help') or die "$0: cannot run $program: $!\n";
  my @lines = <$help>;
  close($help);
  die "$0: '$program $command --help' failed\n" if $? != 0 || !@lines;
  $text .= section($command, @lines);
}

# Written whole or not at all, so a failed run leaves no half-made file for the next build.
open(my $out, '>', "$output.tmp") or die "$0: cannot write $output.tmp: $!\n";
print $out $text;
close($out) or die "$0: cannot write $output.tmp: $!\n";
rename("$output.tmp", $output) or die "$0: cannot write $output: $!\n";
