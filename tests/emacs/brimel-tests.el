;;; brimel-tests.el --- Shell and Term buffers through the relay, as a user sees them  -*- lexical-binding: t; -*-

;; SPDX-License-Identifier: MIT

;;; Commentary:

;; BRIMEL=path/to/brimel emacs -Q --batch -L editors/emacs -l ert \
;;   -l tests/emacs/brimel-tests.el -f ert-run-tests-batch-and-exit

;;; Code:

(require 'brimel)

(setq brimel-program (or (getenv "BRIMEL") brimel-program) explicit-shell-file-name "/bin/sh"
      kill-buffer-query-functions nil)

;; As for a native Windows Emacs: pipes only, and no signal reaches the relay, only keys
;; sent in-band.
(advice-add 'make-process :filter-args (lambda (args) (append '(:connection-type pipe) args)))
(setq interrupt-process-functions (list #'brimel--interrupt))
(dolist (signal-sender '(quit-process stop-process signal-process))
  (advice-add signal-sender :override (lambda (&rest _) (error "No signal here")) '((depth . 100))))

(defun brimel-test--shows (pattern &optional count)
  "Wait up to 10 s until the buffer shows PATTERN COUNT times (by default once)."
  (let ((deadline (+ (float-time) 10)))
    (while (and (< (how-many pattern (point-min) (point-max)) (or count 1))
                (< (float-time) deadline))
      (accept-process-output nil 0.05))
    (ert-info ((buffer-string) :prefix "The buffer: ")
      (should (>= (how-many pattern (point-min) (point-max)) (or count 1))))))

(defun brimel-test--type (line &optional pattern count)
  "Send LINE as comint does for a line typed at the end of the buffer.
Then wait until the buffer shows PATTERN COUNT times, if PATTERN is given."
  (goto-char (point-max))
  (insert line)
  (comint-send-input)
  (when pattern (brimel-test--shows pattern count)))

(defun brimel-test--keys (keys &optional pattern count)
  "Press KEYS in Term's char mode, then wait until the buffer shows PATTERN COUNT times."
  (term-send-raw-string keys)
  (when pattern (brimel-test--shows pattern count)))

;; The quotes in what is typed keep it apart from what the shell answers. The terminal is as wide
;; as the window without its last column, where the continuation glyph goes.
(ert-deftest brimel-shell-in-a-buffer ()
  (with-current-buffer (let ((coding-system-for-read 'latin-1) (coding-system-for-write 'latin-1))
                         (brimel-shell (generate-new-buffer-name "*brimel-test*")))
    (let* ((window (or (get-buffer-window (current-buffer) t) (selected-window)))
           (size (lambda () (format "%d %d" (window-body-height window)
                                    (window-max-chars-per-line window))))
           (process (get-buffer-process (current-buffer))))
      (brimel-test--shows "[$#] ")
      (brimel-test--type "echo hel\"\"lo; tty; stty size"
                         (format "hello\n/dev/.*\n%s\n" (funcall size)))
      (set-window-buffer (split-window window nil t) (get-buffer-create "*brimel-other*"))
      (window--adjust-process-windows) ; as a resized window's redisplay does
      (brimel-test--type "stty size" (format "^%s$" (funcall size)))
      ;; 0xFF (latin-1's ÿ) as data, sent to the process, its buffer and its name, and as a region.
      (brimel-test--type "head -c 4 | od -An -tx1")
      (dolist (to (list process (current-buffer) (process-name process)))
        (process-send-string to (string ?ÿ)))
      (with-temp-buffer (insert ?ÿ ?\n) (process-send-region process (point-min) (point-max)))
      (brimel-test--shows "^ ff ff ff ff$")
      (should (= (how-many "hel\"\"lo" (point-min) (point-max)) 1)) ; no echo besides comint's
      ;; CR LF decoded before comint sees it; a lone CR rewrites its line.
      (should (= 1 (coding-system-eol-type (car (process-coding-system process)))))
      (brimel-test--type "printf 'ba''d\\rgo''od\\n'" "^good$")
      (should-not (string-match-p "\r\\|^bad" (buffer-string)))
      (brimel-test--type "sh -c 'echo sta\"\"rted; exec sleep 30'; echo not\"\" interrupted" "started")
      (comint-interrupt-subjob)
      (brimel-test--type "sh -c 'echo qu\"\"itting; exec sleep 30'" "quitting")
      (comint-quit-subjob)
      (brimel-test--type "sh -c 'echo rea\"\"dy; exec cat'" "ready")
      (comint-stop-subjob)
      (brimel-test--shows "Stopped")
      (brimel-test--type "fg\nback again" "^back again$" 2)
      (comint-send-eof)
      (brimel-test--type "exit 3" "exited abnormally with code 3")
      (kill-buffer))))

;; In char mode the terminal echoes, in line mode too (where Term takes its own copy away).
(ert-deftest brimel-term-full-screen-programs ()
  (let ((text (make-temp-file "brimel-test")))
    (with-current-buffer (brimel-ansi-term "sh")
      (brimel-test--shows "[$#] ")
      (brimel-test--keys "echo \"$TERM\"; stty size\r"
                         (format "TERM.; stty size\neterm-color\n%d %d$" term-height term-width))
      (brimel-test--keys "tput clear; tput cup 5 10; echo X\"\"\r" "^ \\{10\\}X$")
      (should (save-excursion (goto-char term-home-marker) (forward-line 5) (looking-at " \\{10\\}X")))
      (brimel-test--keys (format "seq -f 'line %%g' 99 >%s; less %s\r" text text)
                         (format "^line %d$" (1- term-height)))
      (should (= 0 (how-many (format "^line %d$" term-height) (point-min) (point-max))))
      (brimel-test--keys " " (format "^line %d$" (* 2 (1- term-height))))
      ;; Term answers vim's question for the cursor's position, and an answer that vim has not
      ;; read when it ends would reach the shell.
      (brimel-test--keys (format "q vi --cmd 'set t_u7=' %s.vi\r" text) "\\[New\\]")
      (brimel-test--keys "iedi\"\"ted\e:wq\r" "written")
      (should (equal (with-temp-buffer (insert-file-contents (concat text ".vi")) (buffer-string))
                     "edi\"\"ted\n"))
      (mapc #'delete-file (list text (concat text ".vi")))
      (brimel-test--keys "sh -c 'echo ca\"\"tting; exec cat'\r" "^catting")
      (brimel-test--keys "\C-z" "Stopped") ; C-z in ansi-term's char mode
      (brimel-test--keys "fg\rback again\r\C-d" "^back again$" 2)
      ;; A program that follows its terminal's size until it is interrupted.
      (brimel-test--keys "sh -c 'trap \"stty size\" WINCH; trap \"echo inter\"\"rupted; exit\" INT;\
 echo rea\"\"dy; while :; do sleep 1; done'\r" "^ready")
      (split-window nil nil t)
      (window--adjust-process-windows) ; as a resized window's redisplay does
      (brimel-test--shows (format "^%d %d$" term-height term-width))
      (brimel-test--keys "\C-c" "interrupted$")
      (term-line-mode)
      (brimel-test--keys "cat; echo cat\"\" ended\r")
      (term-send-eof)
      (brimel-test--keys "exit 3\r" "^cat ended")
      (brimel-test--shows "exited abnormally with code 3")
      (kill-buffer))))

(defun brimel-test--plain-ff ()
  "Send 0xFF (latin-1's ÿ) to a process that is not relayed; return what it read, in hex."
  (let ((process (make-process :name "plain" :buffer (generate-new-buffer " *plain*")
                               :command '("od" "-An" "-tx1") :coding 'latin-1 :sentinel #'ignore)))
    (process-send-string process (string ?ÿ))
    (process-send-eof process)
    (while (accept-process-output process 10))
    (with-current-buffer (process-buffer process) (buffer-string))))

(defconst brimel-test--file (or load-file-name buffer-file-name))

(defun brimel-test--emacs (form)
  "The command line of an Emacs that loads this file and evaluates FORM."
  (list (concat invocation-directory invocation-name) "-Q" "--batch" "-L"
        (file-name-directory (locate-library "brimel")) "-l" "ert" "-l" brimel-test--file
        "--eval" form))

;; Loaded or unloaded, the package leaves other processes alone: 0xFF once, and the end of input.
(ert-deftest brimel-plain-processes-as-without-the-package ()
  (should (equal (brimel-test--plain-ff) " ff\n"))
  (with-temp-buffer
    (let ((emacs (brimel-test--emacs "(progn (unload-feature 'brimel t)
      (prin1 (list (featurep 'brimel) (advice--p (symbol-function 'process-send-eof))
                   (brimel-test--plain-ff))))")))
      (apply #'call-process (car emacs) nil '(t nil) nil (cdr emacs)))
    (should (equal (buffer-string) "(nil nil \" ff\n\")"))))

;; As on Windows: the runtime's cygpath beside the relay names /z/there, and nothing else.
(ert-deftest brimel-directories-as-the-runtime-names-them ()
  (let* ((relay (make-temp-file "brimel" t)) (there (make-temp-file "there" t))
         (brimel-program (expand-file-name "brimel" relay))
         (cygpath (expand-file-name "cygpath" relay)))
    (copy-file (getenv "BRIMEL") brimel-program)
    (write-region (format "#!/bin/sh\n[ \"$*\" = '-m /z/there' ] && echo %s\n" there) nil cygpath)
    (set-file-modes cygpath #o755)
    (with-current-buffer (brimel-shell (generate-new-buffer-name "*brimel-test*"))
      (let ((system-type 'windows-nt))
        (brimel--term-command "//z/there") ; as bash in Term sends \032//z/there
        (should (equal default-directory (file-name-as-directory there)))
        (brimel--term-command "//z/nowhere")
        (cd "/")
        (brimel--track-directory "cd /z/there")
        (should (equal default-directory (file-name-as-directory there))))
      (kill-buffer))
    (mapc (lambda (dir) (delete-directory dir t)) (list relay there))))

(defun brimel-test--sleepers ()
  "Start a program in a comint and a Term buffer through their modes.
Return the pids of each program and its relay."
  (let ((brimel-programs '("sh")) (brimel-comint-mode t) (brimel-term-mode t))
    (mapcan (lambda (buffer)
              (with-current-buffer buffer
                (brimel-test--shows "^[0-9]+$")
                (list (read (buffer-string)) (process-id (get-buffer-process buffer)))))
            (list (make-comint "brimel-comint" "sh" nil "-c" "echo $$; exec sleep 30")
                  (make-term "brimel-term" "sh" nil "-c" "echo $$; exec sleep 30")))))

(defun brimel-test--ended (pids)
  "Wait up to 10 s until none of PIDS runs; check that none does, and end those that do."
  (let ((deadline (+ (float-time) 10))
        (live (lambda (pid) (not (member (alist-get 'state (process-attributes pid)) '(nil "Z"))))))
    (while (and (seq-some live pids) (< (float-time) deadline))
      (accept-process-output nil 0.05))
    (unwind-protect (should-not (seq-filter live pids))
      (apply #'call-process "sh" nil nil nil "-c" "kill -KILL \"$@\"" "kill" ; sh's own kill
             (mapcar #'number-to-string pids)))))

;; The programs neither read nor write: only the relay's watch on Emacs ends them with it.
(ert-deftest brimel-programs-end-with-their-buffer-or-with-emacs ()
  (let ((pids (brimel-test--sleepers))
        (emacs (make-process
                :name "host" :buffer (generate-new-buffer " *host*")
                :command (brimel-test--emacs
                          "(progn (message \"%S\" (brimel-test--sleepers)) (sleep-for 60))"))))
    (mapc #'kill-buffer '("*brimel-comint*" "*brimel-term*"))
    (brimel-test--ended pids)
    (with-current-buffer (process-buffer emacs)
      (unwind-protect (brimel-test--shows "^(.*)$")
        (kill-process emacs))
      (brimel-test--ended (read (buffer-string))))))

;;; brimel-tests.el ends here
