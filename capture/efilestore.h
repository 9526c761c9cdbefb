#pragma once
// The store of an e-filed document: the document as shown, copied with its annotation file to
// the host's store folder and to the host's burned-image path, registered and handed back to
// the request road, then removed from the store folder again.

// The argument is not used: the document always goes back to the request road with "S".
bool do_store_electronic(bool advance);
