module probe {
    exports probe;
}
