#pragma once

// The names that scenario lines give to audio files in every form the game
// reads them: a value in any quoting, of any tag or attribute, on an "@"
// line, in a script expression or as a macro parameter's default, spelled
// and folded as Windows opens a file, with or without its audio extension.
// A file that such a name may stand for must not be deleted as unused.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inputs/audio_inventory.h"

// One attribute of a tag: name=value, blanks allowed around "=".
struct TagAttribute {
  std::string_view name;
  std::string_view value;  // without its quotes
  bool quoted = false;
};

// Reads the attributes that follow the tag name in a tag's inner text (or in
// an "@" line after its "@"). A value that opens with a double or single
// quote runs to the next such quote, or to the end without one; any other
// value runs to the next blank, tab or "]". A name without "=" has no value
// and is passed over.
class TagAttributeReader {
 public:
  explicit TagAttributeReader(std::string_view inner);
  // Set `attribute` to the next attribute and return true; false at the end.
  bool next(TagAttribute& attribute);

 private:
  std::string_view inner_;
  std::size_t pos_;
};

class ScriptNames {
 public:
  // Know no key: nothing is ever named.
  ScriptNames() = default;
  // Know the keys of both inventories, in their order.
  ScriptNames(const std::vector<ListedFile>& soundFiles,
              const std::vector<ListedFile>& bgmFiles);

  // Return true when there is a key that a name could stand for.
  bool hasKeys() const { return !keys_.empty(); }

  // Take the names that the scenario line `line` (UTF-8) gives: the text
  // between each odd and the following even double quote, the same for
  // single quotes, and, on a line whose first non-blank character is "@",
  // the values read as those of a tag.
  void noteLine(std::string_view line);

  // Take the names that the attribute values of a tag give, `inner` being
  // its text between the brackets and `tagName` its first word.
  void noteTag(std::string_view inner, std::string_view tagName);

  // Return true when a name taken so far stands for the key at `index` of
  // the sound inventory (`soundSide`) or of the BGM inventory.
  bool isNamed(bool soundSide, std::size_t index) const;

  // Return true when a sound tag (playse, se, fadeinse) or a BGM tag
  // (playbgm, bgm, fadeinbgm) gave a storage value that begins with "&", a
  // name that the game computes when it runs.
  bool hasComputedSound() const { return computedSound_; }
  bool hasComputedBgm() const { return computedBgm_; }

 private:
  void noteQuotedRuns(std::string_view line, char quote);
  // Return true when `value` is a quoted run that noteLine has taken.
  bool isTakenRun(std::string_view value) const;
  void noteName(std::string_view name);
  // Set form_ to the form under which `name` is looked up.
  void formOf(std::string_view name);

  std::unordered_map<std::string, std::vector<std::uint32_t>> keys_;  // by form
  std::bitset<256> formLengths_;  // the lengths of the forms in keys_, 255 for longer
  std::vector<bool> named_;  // sound keys, then BGM keys
  std::size_t soundCount_ = 0;
  bool computedSound_ = false;
  bool computedBgm_ = false;
  std::string form_;
  // The line that noteLine took last, and where its quoted runs start.
  const char* line_ = nullptr;
  std::size_t lineSize_ = 0;
  std::vector<std::size_t> runStarts_;
};
