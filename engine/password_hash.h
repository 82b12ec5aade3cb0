// Login passwords as the master database keeps them: a salted, slow hash
// (PBKDF2-HMAC-SHA256), never the password itself. The stored text reads
//   pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>
// Instances made before passwords were hashed hold the plain text; such a
// value still verifies, and the caller replaces it by a hash.
#pragma once

#include <string>

namespace vqsql {

// A fresh hash of `password` with a random 16-byte salt; throws
// SqlException when the system cannot provide random bytes.
std::string hashPassword(const std::string& password);

// Whether `stored` (a hash, or a legacy plain-text password) accepts
// `password`. Compares in constant time.
bool passwordMatches(const std::string& stored, const std::string& password);

// Whether `stored` is a hash made by hashPassword (and not plain text).
bool isPasswordHash(const std::string& stored);

}  // namespace vqsql
