#pragma once
// The two translators and the wiring of every node to them.

namespace corvello {

class Translator;

// Drives the two "Swivo" ports with the panner protocol, for good.
Translator& pannerTranslator();
// Drives "Tamberlin" and the OSC nodes with the protocol the remote selects.
Translator& mainTranslator();

// Builds the nodes and attaches the translators, in an order that makes the
// remote link offer every record to the panner translator first.
void setUpRouting();

}  // namespace corvello
