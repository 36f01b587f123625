// Writes the English language folder (language.ini, action-*.ini, para-*.ini)
// from the service's built-in English texts.
// Usage: make_language_folder <folder>   (the repository keeps it in data/English)
#include <cstdio>

#include "core/language_texts_english.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  if (!lark::WriteEnglishLanguageFolder(argv[1])) {
    std::fprintf(stderr, "make_language_folder: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
