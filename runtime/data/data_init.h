// The data layer's entries of a program's initialiser table: the international settings
// (profile "intl" and the program's .ENV file, which fill the collation and case tables and the
// replacement texts), the name-binding tables with their builtin catalogue, and the release of
// per-thread queues with their threads.
#pragma once

#include "runtime/core/startup.h"
#include "runtime/data/binding.h"
#include "runtime/data/intl.h"
#include "runtime/data/queue_threads.h"

#define VEL_DATA_INIT_ENTRIES                                  \
  ::vel::InitEntry{28, ::vel::IntlInitTerm, ::vel::IntlInitTerm}, \
  ::vel::InitEntry{16, ::vel::BindingInitTerm, ::vel::BindingInitTerm},   \
  ::vel::InitEntry{16, ::vel::QueueThreadsInitTerm, ::vel::QueueThreadsInitTerm}
