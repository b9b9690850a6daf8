#!/usr/bin/env python3
"""scripts/check-layers on small made-up source trees: it passes every include the layers allow
and fails, naming file and line, on each kind that they forbid."""
import os
import subprocess
import tempfile
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(SOURCE_DIR, "scripts", "check-layers")

# A tree that uses every allowed direction: downwards, framework and common from everywhere,
# resource ids from ui, an include beside the including file and one through "..".
ALLOWED_TREE = {
    "res/resource.h": "",
    "src/app/main.cpp": '#include "ui/dialog.h"\n#include "engine/http/client.h"\n'
                        '#include "config/reader.h"\n#include "resource.h"\n',
    "src/ui/dialog.h": '#include "engine/job.h"\n#include "framework/loop/loop.h"\n'
                       '#include "resource.h"\n',
    "src/engine/job.h": '#include "engine/http/client.h"\n#include "config/reader.h"\n'
                        '#include "common/text.h"\n',
    "src/engine/http/client.h": '#include "framework/lock.h"\n#include "../../common/text.h"\n',
    "src/config/reader.h": '#include "common/text.h"\n#include <windows.h>\n',
    "src/framework/lock.h": '#include "common/text.h"\n',
    "src/framework/loop/loop.h": '#include "loop_source.h"\n  #  include "framework/lock.h"\n',
    "src/framework/loop/loop_source.h": "",
    "src/common/text.h": '#include <string>\n',
}

# (name, file, its text, what the report must say); each is planted into ALLOWED_TREE.
FORBIDDEN = [
    ("FrameworkUsesApp", "src/framework/module.h", '#include "app/loop.h"\n',
     'src/framework/module.h:1: framework may not include "app/loop.h" (app)'),
    ("FrameworkUsesUi", "src/framework/loop/filter.h", '\n#include "ui/dialog.h"\n',
     'src/framework/loop/filter.h:2: framework may not include "ui/dialog.h" (ui)'),
    ("CommonUsesFramework", "src/common/lock_user.cpp", '#include "framework/lock.h"\n',
     'src/common/lock_user.cpp:1: common may not include "framework/lock.h" (framework)'),
    ("CommonUsesConfig", "src/common/reader_user.h", '#include "config/reader.h"\n',
     'src/common/reader_user.h:1: common may not include "config/reader.h" (config)'),
    ("EngineUsesUi", "src/engine/report.cpp", '#include "engine/job.h"\n#include "ui/dialog.h"\n',
     'src/engine/report.cpp:2: engine may not include "ui/dialog.h" (ui)'),
    ("EngineUsesApp", "src/engine/start.cpp", '#include "app/main.h"\n',
     'src/engine/start.cpp:1: engine may not include "app/main.h" (app)'),
    ("HttpUsesEngine", "src/engine/http/stats.cpp", '#include "engine/job.h"\n',
     'src/engine/http/stats.cpp:1: engine/http may not include "engine/job.h" (engine)'),
    ("ConfigUsesEngine", "src/config/url.cpp", '#include "engine/job.h"\n',
     'src/config/url.cpp:1: config may not include "engine/job.h" (engine)'),
    ("UiUsesApp", "src/ui/tray.cpp", '#include "app/run.h"\n',
     'src/ui/tray.cpp:1: ui may not include "app/run.h" (app)'),
    ("EngineUsesResourceIds", "src/engine/ids.cpp", '#include "resource.h"\n',
     'src/engine/ids.cpp:1: engine may not include "resource.h" (res)'),
    ("UpwardThroughDots", "src/common/up.h", '#include "../ui/dialog.h"\n',
     'src/common/up.h:1: common may not include "../ui/dialog.h" (ui)'),
    ("IncludeInNoLayer", "src/ui/odd.cpp", '#include "nowhere.h"\n',
     'src/ui/odd.cpp:1: "nowhere.h" is in no layer'),
    ("FileInNoLayer", "src/tools/extra.cpp", '#include "common/text.h"\n',
     "src/tools/extra.cpp:1: src/tools/extra.cpp is in no layer"),
]


def run_check(files):
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(text)
        result = subprocess.run([CHECK, root], capture_output=True, text=True, timeout=60)
        return result.returncode, result.stdout.splitlines()


class CheckLayers(unittest.TestCase):
    def test_allowed_tree_passes(self):
        code, lines = run_check(ALLOWED_TREE)
        self.assertEqual((code, lines), (0, []))

    def test_each_forbidden_include_fails_naming_file_and_line(self):
        for name, path, text, report in FORBIDDEN:
            with self.subTest(name):
                files = dict(ALLOWED_TREE)
                files[path] = text
                code, lines = run_check(files)
                self.assertEqual((code, lines), (1, [report]))

    def test_missing_source_folder_is_an_error(self):
        code, _ = run_check({"res/resource.h": ""})
        self.assertEqual(code, 2)


if __name__ == "__main__":
    unittest.main()
