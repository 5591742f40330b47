#pragma once
// A running main window whose document is a given picture, fitted and with a fresh
// history, as after a load.

#include "app/view.h"
#include "core/undo.h"
#include "support/app_fixture.h"
#include "toolkit/image_store.h"

class DocumentTest : public AppTest {
  protected:
    // Makes `image` the document; returns a copy of it as it now stands.
    static Image show(Image image) {
        storeImage(viewImage, std::move(image));
        fitWindowToImage(viewImage);
        resetUndo();
        drainEvents();
        return *findImage(viewImage);
    }

    static const Image& view() { return *findImage(viewImage); }
};
