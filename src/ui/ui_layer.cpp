// Anchors the ui layer's library until its first module lands.
