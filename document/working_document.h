#pragma once
// The working document: the form as the form document saves it and the lists document completes
// it, in the working folder under the recommendation number.

#include <stdexcept>
#include <string>
#include <string_view>

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
// copy. Neither Print nor the start-up tidy clears it. The user has the document once a later Print of the
// same recommendation has handed one over to the place chosen: the kept one then goes.
inline constexpr const char* kKeptFolder = "未交付的推荐书";

namespace detail {
// The recommendation number as a file name: it comes from the database or from an imported package,
// so a path separator in it is replaced by "_", and the file always lies in its folder itself.
inline std::string DocumentName(std::string_view askno) {
    std::string name(askno);
    for (char& c : name)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return name + ".docx";
}
}  // namespace detail

// folder + "/tmp_doc/" + the recommendation number + ".docx".
inline std::string WorkingDocumentPath(std::string_view folder, std::string_view askno) {
    return std::string(folder) + "/" + kDocumentFolder + "/" + detail::DocumentName(askno);
}

// folder + "/未交付的推荐书/" + the recommendation number + ".docx".
inline std::string KeptDocumentPath(std::string_view folder, std::string_view askno) {
    return std::string(folder) + "/" + kKeptFolder + "/" + detail::DocumentName(askno);
}

// Attaches to the running word-processing engine or starts one; when neither works, says so under
// "错误" with the engine's status and returns false.
bool Attach(rt::word::Application& word);

}  // namespace laurel::document
