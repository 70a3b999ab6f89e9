// Code signing of setup programs with osslsigncode: the uninstaller before it
// is packed, the finished setup program after. The signature's certificate
// table goes after the package and must end the file; the setup program
// finds its package before it and refuses anything after it.
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
// signed copy replaces it only when signing succeeded). osslsigncode is taken
// from the folders of PATH only (FindHostProgram), never from the current
// folder. Raises an Os error when it is not there or fails.
void SignProgram(const std::string& input, const std::string& output, const SigningKey& key, std::ostream& log);

// Replaces the plan's uninstaller by a signed copy written beside `output`
// (named output + ".uninstaller"); returns that copy's path, or "" when the
// plan carries no uninstaller. The caller removes the copy.
std::string SignUninstaller(BuildPlan& plan, const std::string& output, const SigningKey& key, std::ostream& log);

// One line on the signature of a host file: "signature: none", or where its
// certificate table lies. Raises Damaged for a lying security directory.
std::string SignatureLine(const std::string& path);

// Raises Damaged, saying that the package lies outside the signature, when
// anything follows the certificate table of a signed host file: the
// signature covers nothing after the table. Nothing for an unsigned file;
// Damaged for a lying security directory.
void RequireSignatureAtEnd(const std::string& path);

// Raises a Format error when the setup program a package is to be appended
// to is already signed: the package would lie outside that signature.
void RefuseSignedStub(const std::string& stub);

}  // namespace setup::makesetup
