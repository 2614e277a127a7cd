// The seed writer's parts: each writes the seed inputs of some targets,
// built with the encoders the byte tests check, into <dir>/<target>/.
// The request and reply records live in two files because the client's
// and the server's record headers name their sizes alike.
// Thread rules: one thread.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qd::fuzz {

void WriteSeed(const std::string& target, const std::string& name, std::span<const uint8_t> bytes);

void WriteRequestSeeds();  // server_requests
void WriteReplySeeds();    // callif_replies

}  // namespace qd::fuzz
