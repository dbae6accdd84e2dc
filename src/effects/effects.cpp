// The effects layer's DSP blocks are header-declared; this unit anchors the library.
