#pragma once

// A small file that says which process of this machine has done something not yet undone (a
// backup lock taken, an archive taken off line): its process id with the moment it started,
// so that the id given again to another process is not taken for it. The next run that finds
// the file with its process gone undoes the work and removes the file.

#include "base/env.h"

#include <optional>
#include <string>

namespace korva {

struct SegnoProcesso {
    long pid = 0;
    unsigned long long avvio = 0;  // when the process started, in clock ticks after boot
    std::string testo;             // what was done, in the writer's words
};

// This process, with `testo`, written beside the path and renamed over it, flushed.
void scriviSegno(Env& env, const std::string& percorso, const std::string& testo);
// The mark at the path; nothing when there is no such file. A file that is no mark of this
// kind is an Error.
std::optional<SegnoProcesso> leggiSegno(Env& env, const std::string& percorso);
// The process of the mark still runs on this machine.
bool processoVivo(const SegnoProcesso& segno);
// The id and the start of this process, as a mark names them: "pid.avvio".
std::string firmaProcesso();
// Whether a name made with firmaProcesso() belongs to a process that still runs.
bool firmaViva(const std::string& firma);

// Removes the files of `dir` named `prefisso` + a signature of firmaProcesso() whose process
// is gone: the temporary files a killed run of this machine left.
void rimuoviTemporaneiMorti(Env& env, const std::string& dir, const std::string& prefisso);

}  // namespace korva
