// Code signing of setup programs with osslsigncode: the uninstaller before it
// is packed, the finished setup program after. The signature's certificate
// table goes after the package; the setup program finds its package before it.
#pragma once

#include <iosfwd>
#include <string>

#include "project_file.h"

namespace setup::makesetup {

struct SigningKey {
    std::string Certificate;  // PEM file of the certificate (chain)
    std::string Key;          // PEM file of its private key
};

// Signs the host file `input` into `output` (which may be the same path; the
// signed copy replaces it only when signing succeeded). Raises an Os error
// when osslsigncode is missing or fails.
void SignProgram(const std::string& input, const std::string& output, const SigningKey& key, std::ostream& log);

// Replaces the plan's uninstaller by a signed copy written beside `output`
// (named output + ".uninstaller"); returns that copy's path, or "" when the
// plan carries no uninstaller. The caller removes the copy.
std::string SignUninstaller(BuildPlan& plan, const std::string& output, const SigningKey& key, std::ostream& log);

// One line on the signature of a host file: "signature: none", or where its
// certificate table lies. Raises Damaged for a lying security directory.
std::string SignatureLine(const std::string& path);

}  // namespace setup::makesetup
