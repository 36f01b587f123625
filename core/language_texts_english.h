// The shipped English language folder, built from the service's own English
// defaults so a fresh installation shows real texts. tools/make_language_folder
// writes it into data/English; a test keeps the shipped files equal to this.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace lark {

// File name and whole contents (CRLF line ends) of every file of the folder:
// language.ini, the twelve action-*.ini and the eight para-*.ini.
std::vector<std::pair<std::string, std::string>> EnglishLanguageFiles();

// Writes them into `folder` (created when missing); false on any error.
bool WriteEnglishLanguageFolder(const std::string& folder);

}  // namespace lark
