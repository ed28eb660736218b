#pragma once
// Where a host protocol hands records for the remote beyond the one it
// returns: the Translator that owns it. An interface of its own so that the
// protocols depend on no more of the Translator than this.

#include "core/MessageRecord.h"

namespace corvello {

class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void sendToRemote(MessageRecord record) = 0;
};

}  // namespace corvello
