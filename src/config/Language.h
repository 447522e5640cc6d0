#pragma once
// User-interface texts by key, from the UTF-8 language files "<id>.lang" in the installation's
// lang folder. English is loaded first and the chosen language over it, so a text a translation
// lacks is shown in English, and a text missing from both is shown as its key.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct HWND__;

namespace hml::config {

using TextMap = std::map<std::wstring, std::wstring>;

// Adds the key lines of one section of a language file's bytes to texts. Only the first section
// with that name (compared without regard to case) is read.
void ParseLanguageSection(std::string_view bytes, const std::wstring& section, TextMap& texts);

// Replaces "{0}".."{2}" in text by the arguments given, in one pass: text inside an argument is
// never taken for a placeholder.
std::wstring FillPlaceholders(const std::wstring& text, const std::optional<std::wstring>& arg0,
                              const std::optional<std::wstring>& arg1,
                              const std::optional<std::wstring>& arg2);

class CLanguage {
public:
    static constexpr std::uint32_t kEnglish = 1033;

    CLanguage(const std::wstring& installFolder, std::uint32_t languageId);

    // Reads one section of the English file and then of the chosen one into the texts.
    void LoadSection(const std::wstring& section);

    // The text of key with "{0}".."{2}" replaced by the arguments given; the key itself when no
    // file defines it.
    std::wstring Translate(const std::wstring& key, std::optional<std::wstring> arg0 = std::nullopt,
                           std::optional<std::wstring> arg1 = std::nullopt,
                           std::optional<std::wstring> arg2 = std::nullopt) const;

    // A file-dialog filter: the translated description put for "{0}" into a pattern such as
    // "{0} (*.hmlsf)|*.hmlsf|".
    std::wstring Filter(const std::wstring& descriptionKey, const std::wstring& pattern) const;

    // Every language in the folder with its display name, by id.
    std::map<std::uint32_t, std::wstring> ListLanguages() const;

#ifdef _WIN32
    // Replaces the texts of a window and its direct children by their translations.
    void TranslateWindow(HWND__* window) const;
#endif

    std::uint32_t LanguageId() const {
        return languageId;
    }
    const TextMap& Texts() const {
        return texts;
    }

private:
    TextMap texts;
    std::uint32_t languageId;
    std::wstring languageFolder;
    std::wstring chosenFile;
    std::wstring englishFile;
};

// The language of the process; none before start-up.
extern CLanguage* language;

// Builds the language anew from the settings ("LangID", the installation folder) and loads the
// sections "common" and "synth". The previous language is freed first.
void LoadLanguage();
void FreeLanguage();

// Translate through the process's language (the key itself when there is none).
std::wstring Translate(const std::wstring& key, std::optional<std::wstring> arg0 = std::nullopt,
                       std::optional<std::wstring> arg1 = std::nullopt,
                       std::optional<std::wstring> arg2 = std::nullopt);

// A dialog filter with its "|" separators turned into the zeros the file dialogs expect.
std::wstring ToDialogFilter(std::wstring filter);

} // namespace hml::config
