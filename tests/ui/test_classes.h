// The test classes of this binary; main.cpp expands NVX_DECLARE_TESTS twice.
NVX_DECLARE_TESTS(BurkoAnimationTests)
NVX_DECLARE_TESTS(BurkoCanvasTests)
NVX_DECLARE_TESTS(ReduceMotionTests)
NVX_DECLARE_TESTS(ModelPictureTests)
NVX_DECLARE_TESTS(InventoryValueViewTests)
NVX_DECLARE_TESTS(LocationAutocompleteTests)
NVX_DECLARE_TESTS(MainWindowTests)
