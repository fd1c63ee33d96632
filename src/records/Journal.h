#pragma once
// The upload journal: one CSV line per attempt, saying which controller got
// which files, when, from whom, how far it got and how it ended. A record for
// the technician's service report, for an auditor, and for the finish of an
// attempt that stopped halfway. Its columns, its CSV, its file and its
// history table are apart; this names them all.

#include "JournalColumns.h"
#include "JournalCsv.h"
#include "JournalFile.h"
#include "JournalHistory.h"
