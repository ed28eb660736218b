#pragma once
// Receiver of OSC records, through an OSCNode.

#include "core/OscRecord.h"

namespace corvello {

class OSCNode;

class OSCFilter {
public:
    virtual ~OSCFilter() = default;

    void setNode(OSCNode* n) { node = n; }
    // Nonzero claims the record.
    virtual int receive(OscRecord record) = 0;

    OSCNode* node = nullptr;
};

}  // namespace corvello
