// ShellWords: how a word is written for a POSIX shell so that the shell reads
// back exactly its bytes, in text that is always valid UTF-8, so that one
// line serves a terminal, a log and a JSON string alike.
#pragma once

#include <string>
#include <vector>

// word as one shell word. As it is when it is not empty and every byte is a
// letter, a digit or one of - _ . / , + : @ % (nothing a shell expands,
// splits or reads as an assignment); else in single quotes, a quote inside
// written \'. Bytes a log or JSON can't carry (those that are not valid
// UTF-8, control characters but tab and newline) are written octal, run by
// run, as "$(printf '\ooo')": POSIX sh (dash among them) has no $'...'. A
// newline stays inside the quotes: a command substitution drops the last ones.
std::string ShellWord(const std::string& word);

// words as one command line: each a ShellWord, separated by one space.
std::string ShellCommand(const std::vector<std::string>& words);
