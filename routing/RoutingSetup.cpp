#include "routing/RoutingSetup.h"

#include "link/RemoteLink.h"
#include "logicosc/OSCNode.h"
#include "routing/MIDIPortTable.h"
#include "routing/Translator.h"

namespace corvello {

// Both live until the process ends: the server, link and OSC threads may
// still deliver to them while the program exits.
Translator& pannerTranslator()
{
    static auto* translator = new Translator();
    return *translator;
}

Translator& mainTranslator()
{
    static auto* translator = new Translator();
    return *translator;
}

void setUpRouting()
{
    remoteLinkNode().addFilter(&pannerTranslator());
    midiPortTable();
    pannerMidiNode().addFilter(&pannerTranslator());
    pannerTranslator().installPanner();

    remoteLinkNode().addFilter(&mainTranslator());
    mainMidiNode().addFilter(&mainTranslator());
    logicOscNode().addFilter(&mainTranslator());
    browsedOscNode().addFilter(&mainTranslator());
}

}  // namespace corvello
