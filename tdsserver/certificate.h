// The server's own certificate, made when an instance has none, so that
// encryption works out of the box the way SQL Server's self-generated
// certificate does. Clients that check certificates need a real one; the
// administrator puts it in place of these files.
#pragma once

#include <string>

namespace vqtdsserver {

// Writes a new self-signed certificate and its private key, both PEM:
// RSA 2048 with SHA-256 (what the oldest clients in use still accept), a
// random serial, CN=commonName as subject and issuer, not a CA, usable
// for TLS server authentication, and names for commonName, localhost and
// 127.0.0.1. Valid from an hour ago (for clocks a little behind) for
// `validDays` days.
//
// The key file is created readable by its owner only (mode 0600) from the
// start. Each file is written under a temporary name and renamed into
// place, so an interruption never leaves half a file. Throws
// std::runtime_error naming the file that could not be written.
void createSelfSignedCertificate(const std::string& certFile, const std::string& keyFile,
                                 const std::string& commonName, int validDays = 3650);

// Both files exist (as regular files); says nothing about their content.
bool certificateFilesPresent(const std::string& certFile, const std::string& keyFile);

}  // namespace vqtdsserver
