// How a password stands in every message, log line and trace line, of
// spoolmap and of its client library alike.

#ifndef COMMON_PASSWORD_MASK_H
#define COMMON_PASSWORD_MASK_H

#include <cstddef>
#include <string>
#include <vector>

constexpr char kPasswordMask[] = "********";
constexpr size_t kPasswordMaskChars = sizeof kPasswordMask - 1;

// Replaces every occurrence of each password in text with the mask; an
// empty password masks nothing.
inline void mask_passwords(std::string& text, const std::vector<std::string>& passwords) {
    for (const std::string& password : passwords) {
        if (password.empty()) {
            continue;
        }
        for (size_t at = text.find(password); at != std::string::npos;
             at = text.find(password, at + kPasswordMaskChars)) {
            text.replace(at, password.size(), kPasswordMask);
        }
    }
}

#endif
