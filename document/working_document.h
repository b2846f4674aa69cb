#pragma once
// The working document: the form as the form document saves it and the lists document completes
// it, in the working folder under the recommendation number.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/platform/path.h"
#include "runtime/word/word.h"

namespace laurel::document {

// What the Print command says when a page of the recommendation could not be read while the
// document was being made (the database's own box has said why): nothing is handed over.
inline constexpr const char* kUnreadDocument = "读取推荐书数据失败，未生成文档！";

// Thrown by a document step when a page cannot be read: the step ends there, the working document
// goes, and the Print command reports kUnreadDocument.
class UnreadPage : public std::runtime_error {
  public:
    UnreadPage() : std::runtime_error(kUnreadDocument) {}
};

// The folder of the working document under the working folder: the program's own, emptied by the
// form document and removed by the lists document once the user has the copy.
inline constexpr const char* kDocumentFolder = "tmp_doc";

// The folder where a finished document waits that Print could not hand over (the copy to the chosen
// file failed, or the dialog did), named for the user who is sent there. It lies where every copy of
// the program keeps its working files, never in the folder of one copy's own, which goes with the
// copy. A kept document belongs to one recommendation, by its key in its name: it goes once a later
// Print of that recommendation has handed one over to the place chosen, when the recommendation
// is deleted, and at start-up once the database holds the recommendation no more.
inline constexpr const char* kKeptFolder = "未交付的推荐书";

namespace detail {
// The recommendation number as a file name: it is what a user typed, here or where an imported
// package was made, so it may hold a path separator or a character Windows refuses. The file always
// lies in its folder itself, and the user can copy it as it is named onto any disk.
inline std::string DocumentName(std::string_view askno) {
    return rt::PortableFileName(std::string(askno) + ".docx");
}
}  // namespace detail

// folder + "/tmp_doc/" + the recommendation number + ".docx".
inline std::string WorkingDocumentPath(std::string_view folder, std::string_view askno) {
    return std::string(folder) + "/" + kDocumentFolder + "/" + detail::DocumentName(askno);
}

// folder + "/未交付的推荐书/" + the recommendation number, its key in brackets, ".docx": the number
// for the user to read, the key for the recommendation it belongs to (numbers may repeat).
inline std::string KeptDocumentPath(std::string_view folder, std::string_view key, std::string_view askno) {
    return std::string(folder) + "/" + kKeptFolder + "/" +
           detail::DocumentName(std::string(askno) + "（" + std::string(key) + "）");
}
// Removes the documents kept for `key` (the kept folder too, once empty), but `except`; returns
// those removed.
std::vector<std::string> RemoveKeptDocuments(const std::string& folder, const std::string& key,
                                             const std::string& except = {});
// Removes the documents kept for recommendations whose keys are not among `keys` (those the
// database holds). A file whose name carries no key is left alone.
void TidyKeptDocuments(const std::string& folder, const std::vector<std::string>& keys);

// Attaches to the running word-processing engine or starts one; when neither works, says so under
// "错误" with the engine's status and returns false.
bool Attach(rt::word::Application& word);

}  // namespace laurel::document
