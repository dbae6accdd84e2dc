// Anchors the control layer's library until its first module lands.
