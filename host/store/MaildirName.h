#pragma once
// A message file's name as the programs sharing a Maildir write it:
//
//   UNIQUE[,U=uid][,S=size][,W=vsize][:2,FLAGS]
//
// UNIQUE is what the delivering program chose; mbsync adds ",U=" (its IMAP
// UID), Dovecot ",S=" and ",W=" (the sizes of the content); the info after
// ":2," holds the flags, sorted. A file keeps its identity through every
// rename these programs make, so the identity is UNIQUE alone.
#include <string>
#include <string_view>

namespace mailhost {

constexpr std::string_view kInfoMark = ":2,";

struct MaildirName {
  std::string base;   // all before the info: UNIQUE with the additions
  std::string flags;  // after ":2,"; "" without info
};

MaildirName SplitName(std::string_view name);
// UNIQUE: the name without the additions and without the info.
std::string IdentityOf(std::string_view name);
// The base without the additions whose letters are given ("U" for a file
// moved to another folder, whose UID there is another; "USW" for new content).
std::string WithoutAdditions(std::string_view base, std::string_view letters);

// Flags as Maildir writes them: each once, in ASCII order.
std::string SortedFlags(std::string flags);

}  // namespace mailhost
